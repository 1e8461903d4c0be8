#pragma once

#include <QString>
#include <optional>

// The two keys Cogwise types. The values are the macOS virtual key codes, which stay
// the keys' identity in logs whatever the sink maps them to.
enum class VirtualKey : quint16 { comma = 43, period = 47 };

enum class KeyDirection { down, up };

// Where synthetic key events go: the platform's input stream, so that the focused
// application receives them as if typed.
class KeySink
{
public:
    virtual ~KeySink() = default;

    // Short name for logs and the environment override: "uinput", "xtest", "none".
    virtual QString name() const = 0;
    // Nothing when keys can be posted now; otherwise one sentence a user understands.
    virtual std::optional<QString> unavailableReason() const = 0;
    bool canPostKeys() const { return !unavailableReason(); }

    // False when the event did not go out; lastError() then says why.
    virtual bool post(VirtualKey key, KeyDirection direction) = 0;
    const QString& lastError() const { return m_lastError; }

protected:
    bool fail(QString error)
    {
        m_lastError = std::move(error);
        return false;
    }

private:
    QString m_lastError;
};
