#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <optional>

// A private D-Bus session bus with a fake XDG desktop portal on it (tests/fakes/fake_portal.py
// under python3-dbusmock). This process's own buses are left alone: bus() connects to it.
class FakePortal
{
public:
    FakePortal() = default;
    ~FakePortal();
    FakePortal(const FakePortal&) = delete;
    FakePortal& operator=(const FakePortal&) = delete;

    // What is missing to run it, if anything.
    static std::optional<QString> missing();
    // The bus alone, or the bus with the portal whose color-scheme starts at `scheme`.
    std::optional<QString> start(std::optional<uint> scheme);

    QDBusConnection bus() const;
    // The rider changes the desktop's preference.
    bool setColorScheme(uint scheme) const;

private:
    QProcess m_bus;
    QProcess m_portal;
    QString m_address;
    QString m_connectionName;
};
