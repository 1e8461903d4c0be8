#include "support/FakeBluezTest.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

void FakeBluezTest::initTestCase()
{
    if (const auto reason = FakeBluez::missing())
        QSKIP(qPrintable(*reason));
    if (m_withDisplay && !XvfbServer::isInstalled())
        QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
    auto error = m_bluez.start();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));
    if (m_withDisplay)
        error = m_display.start();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));
}

void FakeBluezTest::init()
{
    // A test that failed while bluetoothd was away leaves it so; the next one starts with it back.
    if (auto* bus = QDBusConnection::systemBus().interface();
        bus && !bus->isServiceRegistered(QStringLiteral("org.bluez"))) {
        const auto error = m_bluez.startService();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
    }
    // Awake before the link drops, so that a Connect a past test left waiting ends too.
    const QList<QVariantList> start{{QStringLiteral("SetAdapterPresent"), true},
                                    {QStringLiteral("SetPowered"), true},
                                    {QStringLiteral("SetAsleep"), false},
                                    {QStringLiteral("DropLink")},
                                    {QStringLiteral("HostDisconnect")},
                                    {QStringLiteral("SetConnectMode"), QStringLiteral("normal")},
                                    {QStringLiteral("SetConnectError"), QString(), QString()},
                                    {QStringLiteral("SetConnectLimit"), uint(m_connectLimit.count())},
                                    {QStringLiteral("SetNotifyInProgress"), false},
                                    {QStringLiteral("SetReportsOnSubscribe"), false},
                                    {QStringLiteral("SetSlowController"), false},
                                    {QStringLiteral("OtherClientDiscovers"), false},
                                    {QStringLiteral("SetHostSubscribes"), true},
                                    {QStringLiteral("SetRefuseCentralWhileHostConnected"), false}};
    for (const QVariantList& control : start)
        QVERIFY2(m_bluez.control(control.first().toString(), control.mid(1)),
                 qPrintable(control.first().toString()));
}
