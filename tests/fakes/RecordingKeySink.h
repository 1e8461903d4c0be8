#pragma once

#include "shifting/KeySink.h"

#include <QStringList>
#include <functional>

// Keeps every posted event as "47 down" / "43 up", stamped " @10" when given a clock;
// can be told to refuse them.
class RecordingKeySink final : public KeySink
{
public:
    explicit RecordingKeySink(QStringList& events)
        : m_events(events)
    {}

    bool refuses = false;
    std::optional<QString> unavailable; // what "can post keys" answers
    std::function<qint64()> clock;      // milliseconds

    QString name() const override { return QStringLiteral("recording"); }
    std::optional<QString> unavailableReason() const override { return unavailable; }
    bool post(VirtualKey key, KeyDirection direction) override
    {
        if (refuses)
            return fail(QStringLiteral("refused for the test"));
        m_events.append(
            QStringLiteral("%1 %2")
                .arg(key.code())
                .arg(direction == KeyDirection::down ? QStringLiteral("down") : QStringLiteral("up")) +
            (clock ? QStringLiteral(" @%1").arg(clock()) : QString()));
        return true;
    }

private:
    QStringList& m_events;
};
