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
    enum class DebugLog {
        off,      // nothing but the printed lines: as fast as lines can be read
        streamed, // the logger's lines go on (to standard error), stamped as they land
        exact,    // every entry of the debug log stamped with its own line's time, for its report
    };

    ReplaySession(QTextStream& out, QDateTime start, DebugLog debugLog);
    ~ReplaySession();

    // One record after the other, in the capture's order.
    void play(const Di2CaptureRecord& record);
    // Lets every effect of what was played land.
    void finish();

private:
    void didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel& channel);
    void didUpdateBatteryLevel(int level);

    void route(const Di2CaptureRecord& record);
    void print(const QString& line);

    QTextStream& m_out;
    DebugLog m_debugLog;
    qint64 m_played = 0;
    QDateTime m_start;
    QDateTime m_now;
    Di2Parser m_parser;
};
