#pragma once

#include "shifting/VirtualKey.h"

#include <QObject>
#include <QString>
#include <optional>

enum class KeyDirection { down, up };

// How a sink finds the key it presses for a VirtualKey.
enum class KeyMatching {
    // The key that types the key's character in the current layout, Shift added where the
    // layout needs it: "." arrives as "." on any layout.
    character,
    // The key at the key's place on a US keyboard, whatever the current layout types with it.
    physicalKey,
};

// Where synthetic key events go: the platform's input stream, so that the focused
// application receives them as if typed.
class KeySink : public QObject
{
    Q_OBJECT

public:
    // Whether the desktop must let Cogwise type first, and what it said.
    enum class Consent {
        notNeeded,
        notAsked,
        // The desktop shows its dialog; keys wait for the answer.
        asking,
        granted,
        // Refused, withdrawn later, or the desktop could not ask: unavailableReason() says which.
        refused,
    };
    Q_ENUM(Consent)

    ~KeySink() override = default;

    // Short name for logs and the environment override: "uinput", "xtest", "portal", "none".
    virtual QString name() const = 0;
    // Nothing when keys can be posted now, or once the desktop consents; otherwise one sentence
    // a user understands.
    virtual std::optional<QString> unavailableReason() const = 0;
    bool canPostKeys() const { return !unavailableReason(); }

    // Where keys go when that is not this computer, in a sentence ("iPad is connected and takes
    // keys"); empty for the sinks that type into this computer's windows.
    virtual QString destination() const { return {}; }

    virtual Consent consent() const { return Consent::notNeeded; }
    bool awaitsConsent() const { return consent() == Consent::notAsked || consent() == Consent::asking; }
    // Asks the desktop to let Cogwise type, where this sink needs that and has not asked or was
    // refused; the answer comes as changed(). Does nothing while asking or once granted.
    virtual void askConsent() {}
    // The desktop's answer was no or was withdrawn, and asking again may change that.
    virtual bool canAskAgain() const { return false; }

    // False when the event did not go out; lastError() then says why.
    virtual bool post(VirtualKey key, KeyDirection direction) = 0;
    const QString& lastError() const { return m_lastError; }

    // How this sink matches keys unless told otherwise.
    virtual KeyMatching defaultKeyMatching() const { return KeyMatching::character; }
    KeyMatching keyMatching() const { return m_keyMatching.value_or(defaultKeyMatching()); }
    // Nothing when the sink now matches keys that way; otherwise why it cannot here, and the
    // way it matched keys before stays.
    std::optional<QString> setKeyMatching(KeyMatching matching)
    {
        if (auto refused = prepareKeyMatching(matching))
            return refused;
        m_keyMatching = matching;
        return std::nullopt;
    }

Q_SIGNALS:
    // consent(), unavailableReason() or name() changed. `news` tells the rider what happened in
    // a sentence or two; empty when there is nothing to tell.
    void changed(const QString& news);

protected:
    bool fail(QString error)
    {
        m_lastError = std::move(error);
        return false;
    }
    // Gets ready to match keys that way, or says why it cannot.
    virtual std::optional<QString> prepareKeyMatching(KeyMatching) { return std::nullopt; }

private:
    QString m_lastError;
    std::optional<KeyMatching> m_keyMatching;
};
