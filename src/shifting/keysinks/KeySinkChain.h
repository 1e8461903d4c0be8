#pragma once

#include "shifting/KeySink.h"

#include <memory>
#include <vector>

// Several sinks in the order Cogwise prefers them, used as one: keys go to the first that can
// type or is waiting for the desktop's consent. When the desktop refuses or withdraws its
// consent the next one takes over, and asking again brings the first back.
class KeySinkChain final : public KeySink
{
    Q_OBJECT

public:
    // At least one sink.
    explicit KeySinkChain(std::vector<std::unique_ptr<KeySink>> sinks);

    QString name() const override { return current().name(); }
    std::optional<QString> unavailableReason() const override;
    bool post(VirtualKey key, KeyDirection direction) override;
    KeyMatching defaultKeyMatching() const override { return current().defaultKeyMatching(); }

    Consent consent() const override { return current().consent(); }
    void askConsent() override;
    bool canAskAgain() const override;

protected:
    std::optional<QString> prepareKeyMatching(KeyMatching matching) override;

private:
    KeySink& current() const { return *m_sinks.at(m_current); }
    void follow(const QString& news);
    size_t firstUsable() const;

    std::vector<std::unique_ptr<KeySink>> m_sinks;
    size_t m_current = 0;
};
