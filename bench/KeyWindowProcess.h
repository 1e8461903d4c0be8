#pragma once

#include "KeyArrivals.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <optional>

// The key window (cogwise-bench-key-window) on the display in DISPLAY, and the keys it reads.
class KeyWindowProcess : public KeyArrivals
{
public:
    KeyWindowProcess() = default;
    ~KeyWindowProcess() override;
    KeyWindowProcess(const KeyWindowProcess&) = delete;
    KeyWindowProcess& operator=(const KeyWindowProcess&) = delete;

    // Returns once the window has the keyboard; an error text otherwise.
    std::optional<QString> start();
    // The next key event, or nothing when none came in time.
    std::optional<Key> next(int timeoutMs);
    std::optional<Key> nextDown(int timeoutMs) override;
    void discardArrived() override;

private:
    std::optional<QByteArray> line(int timeoutMs);

    QProcess m_process;
};
