#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <optional>

// The key window (cogwise-bench-key-window) on the display in DISPLAY, and the keys it reads.
class KeyWindowProcess
{
public:
    struct Key
    {
        bool down = false;
        QString name;        // the keysym: "comma", "period"
        qint64 received = 0; // CLOCK_MONOTONIC nanoseconds
    };

    KeyWindowProcess() = default;
    ~KeyWindowProcess();
    KeyWindowProcess(const KeyWindowProcess&) = delete;
    KeyWindowProcess& operator=(const KeyWindowProcess&) = delete;

    // Returns once the window has the keyboard; an error text otherwise.
    std::optional<QString> start();
    // The next key event, or nothing when none came in time.
    std::optional<Key> next(int timeoutMs);
    // The next key down, skipping key ups.
    std::optional<Key> nextDown(int timeoutMs);
    // Forgets the key events that already arrived.
    void discardArrived();

private:
    std::optional<QByteArray> line(int timeoutMs);

    QProcess m_process;
};
