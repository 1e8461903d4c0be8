#pragma once

#include "di2/Di2Capture.h"
#include "di2/Di2Parser.h"
#include "di2/Di2ParserDelegate.h"

#include <QDateTime>
#include <QTextStream>

// Plays a capture through the real parser, routed as the connection service routes
// characteristic values, and prints what the application would see. Time follows
// the capture, so the same capture always gives the same lines.
class ReplaySession final : public Di2ParserDelegate
{
public:
    ReplaySession(QTextStream& out, QDateTime start);
    ~ReplaySession() override;

    void play(const QList<Di2CaptureRecord>& records);

    void didReceiveStatus(const Di2Status& status) override;
    void didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel& channel) override;
    void didUpdateBatteryLevel(int level) override;

private:
    void route(const Di2CaptureRecord& record);
    void print(const QString& line);

    QTextStream& m_out;
    QDateTime m_start;
    QDateTime m_now;
    Di2Parser m_parser;
};
