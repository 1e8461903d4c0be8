#pragma once

#include "di2/Di2Capture.h"
#include "di2/Di2Parser.h"

#include <QDateTime>
#include <QTextStream>

// Plays a capture through the real parser, routed as the connection service routes
// characteristic values, and prints what the application would see. Time follows
// the capture, so the same capture always gives the same lines.
class ReplaySession final
{
public:
    ReplaySession(QTextStream& out, QDateTime start);
    ~ReplaySession();

    void play(const QList<Di2CaptureRecord>& records);

private:
    void didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel& channel);
    void didUpdateBatteryLevel(int level);

    void route(const Di2CaptureRecord& record);
    void print(const QString& line);

    QTextStream& m_out;
    QDateTime m_start;
    QDateTime m_now;
    Di2Parser m_parser;
};
