#pragma once

#include <QByteArray>
#include <QStringList>

struct _XDisplay;

// A window that holds the keyboard focus and records the keys it receives, as
// "<keysym name> down|up" with the layout's shift state applied ("period down").
class FocusedXClient
{
public:
    explicit FocusedXClient(const QByteArray& displayName);
    ~FocusedXClient();
    FocusedXClient(const FocusedXClient&) = delete;
    FocusedXClient& operator=(const FocusedXClient&) = delete;

    // What `count` presses of one key look like: "period down", "period up", ...
    static QStringList pressesOf(const QString& key, int count)
    {
        QStringList keys;
        for (int i = 0; i < count; ++i)
            keys << key + QStringLiteral(" down") << key + QStringLiteral(" up");
        return keys;
    }

    bool isConnected() const { return m_display != nullptr; }
    bool takeFocus(int timeoutMs);
    // Waits until at least `count` key events arrived (or the time is up), then
    // collects whatever else the server still had queued.
    QStringList receiveKeys(int count, int timeoutMs);
    // The X server's time (ms) of every key event received so far, in order.
    const QList<qint64>& keyTimes() const { return m_times; }

private:
    bool waitForEvent(int type, int timeoutMs);
    bool waitForInput(int timeoutMs) const;
    // Records the key events queued; true when an event of `type` was among them.
    bool drain(int type = 0);

    _XDisplay* m_display = nullptr;
    unsigned long m_window = 0;
    QStringList m_keys;
    QList<qint64> m_times;
};
