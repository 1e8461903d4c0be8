#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/keysinks/PortalKeySink.h"
#include "support/FakePortal.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Consent = KeySink::Consent;
using RemoteDesktop = FakePortal::RemoteDesktop;

RemoteDesktop consenting(const QString& consent, uint version = 2)
{
    RemoteDesktop portal;
    portal.consent = consent;
    portal.version = version;
    return portal;
}

bool press(KeySink& sink, VirtualKey key)
{
    return sink.post(key, KeyDirection::down) && sink.post(key, KeyDirection::up);
}

QList<FakePortal::KeyEvent> pressed(const QString& kind, int value)
{
    return {{kind, value, 1}, {kind, value, 0}};
}

} // namespace

// The remote-desktop portal sink against a fake portal on a private session bus: the handshake,
// the keys, and every way the desktop can say no.
class tst_PortalKeySink : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_runs = 0;

    // Settings of a fresh rider.
    std::unique_ptr<Defaults> freshSettings()
    {
        return std::make_unique<Defaults>(m_dir.filePath(QStringLiteral("settings-%1.conf").arg(++m_runs)));
    }

    static bool settlesAs(const KeySink& sink, Consent consent)
    {
        return QTest::qWaitFor([&] { return sink.consent() == consent; }, FakePortal::timeoutMs);
    }

    // The sink asks, and the desktop's answer settles as `consent`.
    static bool asks(KeySink& sink, Consent consent)
    {
        sink.askConsent();
        return settlesAs(sink, consent);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto missing = FakePortal::missing())
            QSKIP(qPrintable(*missing));
    }

    void oneConsentThenKeysInOrderAsCharactersOrPlaces()
    {
        FakePortal desktop;
        const auto error = desktop.start(std::nullopt, consenting(QStringLiteral("wait")));
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        const auto settings = freshSettings();
        {
            PortalKeySink sink(desktop.bus(), *settings);
            QCOMPARE(sink.version(), 2u);
            QCOMPARE(sink.consent(), Consent::notAsked);
            QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down)); // nothing before the answer
            QSignalSpy news(&sink, &KeySink::changed);
            sink.askConsent();
            QCOMPARE(sink.consent(), Consent::asking);
            QTRY_COMPARE_WITH_TIMEOUT(desktop.dialogs(), 1u, FakePortal::timeoutMs);
            sink.askConsent(); // while the dialog is up: no second one
            QVERIFY(desktop.answer(0));
            QVERIFY(settlesAs(sink, Consent::granted));
            QCOMPARE(news.last().at(0).toString(), QStringLiteral("The desktop lets Cogwise type keys."));
            QCOMPARE(desktop.sessions(), 1u);

            QVERIFY(press(sink, VirtualKey::period()));
            QVERIFY(press(sink, VirtualKey::comma()));
            QVERIFY(press(sink, *VirtualKey::fromName(QStringLiteral("i"))));
            QVERIFY(press(sink, *VirtualKey::fromName(QStringLiteral("KP_Add")))); // at its place
            QVERIFY(!sink.setKeyMatching(KeyMatching::physicalKey));
            QVERIFY(press(sink, VirtualKey::period()));
            const QList<FakePortal::KeyEvent> expected =
                pressed(QStringLiteral("keysym"), 0x2e) + pressed(QStringLiteral("keysym"), 0x2c) +
                pressed(QStringLiteral("keysym"), 0x69) + pressed(QStringLiteral("keycode"), 78) +
                pressed(QStringLiteral("keycode"), 52);
            QTRY_COMPARE_WITH_TIMEOUT(desktop.keyEvents().size(), expected.size(), FakePortal::timeoutMs);
            QVERIFY(desktop.keyEvents() == expected);
            QCOMPARE(desktop.dialogs(), 1u);
        }
        // Quitting ends the session, so that the desktop stops showing that Cogwise may type.
        QCOMPARE(desktop.closedByClient(), 1u);
    }

    void whenTheDesktopSaysNo_data()
    {
        QTest::addColumn<bool>("portalRuns");
        QTest::addColumn<bool>("offered");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the rider cancels")
            << true << true
            << QStringLiteral("You did not allow Cogwise to type keys. Switch keyboard emulation off "
                              "and on, or restart Cogwise, to be asked again.");
        QTest::newRow("the portal lacks remote desktop")
            << true << false << QStringLiteral("The desktop's portal has no remote-desktop support");
        QTest::newRow("no portal at all")
            << false << true << QStringLiteral("The desktop runs no portal service (xdg-desktop-portal).");
    }

    void whenTheDesktopSaysNo()
    {
        QFETCH(bool, portalRuns);
        QFETCH(bool, offered);
        QFETCH(QString, reason);
        FakePortal desktop;
        RemoteDesktop portal = consenting(QStringLiteral("deny"));
        portal.offered = offered;
        const auto error = portalRuns ? desktop.start(std::nullopt, portal) : desktop.start(std::nullopt);
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        const auto settings = freshSettings();
        PortalKeySink sink(desktop.bus(), *settings);
        QVERIFY(asks(sink, Consent::refused));
        QVERIFY2(sink.unavailableReason().value_or(QString()).startsWith(reason),
                 qPrintable(sink.unavailableReason().value_or(QString())));
        QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down));
        QCOMPARE(sink.lastError(), *sink.unavailableReason());
        QVERIFY(sink.canAskAgain());
        if (portalRuns)
            QCOMPARE(desktop.keyEvents(), QList<FakePortal::KeyEvent>());
    }

    void askingAgainAfterANo()
    {
        FakePortal desktop;
        const auto error = desktop.start(std::nullopt, consenting(QStringLiteral("deny")));
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        const auto settings = freshSettings();
        PortalKeySink sink(desktop.bus(), *settings);
        QVERIFY(asks(sink, Consent::refused));
        QVERIFY(desktop.setConsent(QStringLiteral("allow")));
        QVERIFY(asks(sink, Consent::granted));
        QVERIFY(press(sink, VirtualKey::comma()));
        QTRY_COMPARE_WITH_TIMEOUT(desktop.keyEvents(), pressed(QStringLiteral("keysym"), 0x2c),
                                  FakePortal::timeoutMs);
        QCOMPARE(desktop.dialogs(), 2u);
    }

    void theDesktopEndingTheSessionMidRide()
    {
        FakePortal desktop;
        const auto error = desktop.start(std::nullopt, consenting(QStringLiteral("allow")));
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        const auto settings = freshSettings();
        PortalKeySink sink(desktop.bus(), *settings);
        QVERIFY(asks(sink, Consent::granted));
        QSignalSpy news(&sink, &KeySink::changed);
        QVERIFY(desktop.closeSession());
        QVERIFY(settlesAs(sink, Consent::refused));
        QVERIFY(news.last().at(0).toString().startsWith(
            QStringLiteral("The desktop stopped letting Cogwise type keys.")));
        QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down));
        QCOMPARE(desktop.keyEvents(), QList<FakePortal::KeyEvent>());
    }

    // Version 2 of the portal hands out a token that spares the next start the dialog; a token the
    // desktop no longer knows is forgotten; version 1 knows none.
    void theRestoreToken()
    {
        FakePortal desktop;
        auto error = desktop.start(std::nullopt, consenting(QStringLiteral("allow")));
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        const auto settings = freshSettings();
        QString first;
        {
            PortalKeySink sink(desktop.bus(), *settings);
            QVERIFY(asks(sink, Consent::granted));
            QCOMPARE(desktop.lastPersistMode(), 2u);
            first = settings->stringValue(SettingsKeys::remoteDesktopRestoreToken()).value_or(QString());
            QVERIFY(!first.isEmpty());
        }
        QVERIFY(desktop.setConsent(QStringLiteral("deny")));
        {
            PortalKeySink sink(desktop.bus(), *settings);
            QVERIFY(asks(sink, Consent::granted));
            QCOMPARE(desktop.lastRestoreToken(), first);
            QCOMPARE(desktop.dialogs(), 1u);
        }
        const QString second =
            settings->stringValue(SettingsKeys::remoteDesktopRestoreToken()).value_or(QString());
        QVERIFY(!second.isEmpty() && second != first);

        settings->setString(SettingsKeys::remoteDesktopRestoreToken(), QStringLiteral("revoked-long-ago"));
        {
            PortalKeySink sink(desktop.bus(), *settings);
            QVERIFY(asks(sink, Consent::refused));
        }
        QVERIFY(!settings->contains(SettingsKeys::remoteDesktopRestoreToken()));

        FakePortal older;
        error = older.start(std::nullopt, consenting(QStringLiteral("allow"), 1));
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        settings->setString(SettingsKeys::remoteDesktopRestoreToken(), first);
        PortalKeySink sink(older.bus(), *settings);
        QVERIFY(asks(sink, Consent::granted));
        QCOMPARE(older.lastRestoreToken(), QString());
        QCOMPARE(older.lastPersistMode(), 0u);
    }
};

COGWISE_TEST(tst_PortalKeySink)
#include "tst_PortalKeySink.moc"
