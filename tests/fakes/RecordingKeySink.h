#pragma once

#include "shifting/KeySink.h"

#include <QStringList>
#include <functional>

// Keeps every posted event as "47 down" / "43 up", stamped " @10" when given a clock;
// can be told to refuse them, and to need the desktop's consent, which the test then answers.
class RecordingKeySink final : public KeySink
{
public:
    explicit RecordingKeySink(QStringList& events)
        : m_events(events)
    {}

    bool refuses = false;
    std::optional<QString> unavailable; // what "can post keys" answers
    std::function<qint64()> clock;      // milliseconds

    QString sinkName = QStringLiteral("recording");
    QString destinationName; // another device's, as a Bluetooth keyboard has
    Consent consentState = Consent::notNeeded;
    int asked = 0; // times askConsent() found a question to ask

    QString name() const override { return sinkName; }
    QString destination() const override { return destinationName; }
    std::optional<QString> unavailableReason() const override
    {
        return consentState == Consent::refused ? std::optional<QString>(QStringLiteral("refused"))
                                                : unavailable;
    }
    Consent consent() const override { return consentState; }
    void askConsent() override
    {
        if (consentState == Consent::notAsked || consentState == Consent::refused) {
            ++asked;
            answer(Consent::asking, QStringLiteral("asking"));
        }
    }
    bool canAskAgain() const override { return consentState == Consent::refused; }
    // The desktop's answer, or any other change of consent.
    void answer(Consent consent, const QString& news)
    {
        consentState = consent;
        Q_EMIT changed(news);
    }
    bool post(VirtualKey key, KeyDirection direction) override
    {
        if (refuses || consentState == Consent::refused)
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
