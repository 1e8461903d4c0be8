#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/keysinks/PortalKeySink.h"
#include "support/FakePortal.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Consent = KeySink::Consent;

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

    ScratchDir m_files;

    // The desktop's portal answers `consent` (no portal runs when it is empty); false, with the
    // reason told, when the desktop cannot start.
    static bool starts(FakePortal& desktop, const QString& consent, uint version = 2, bool offered = true)
    {
        const auto error =
            consent.isEmpty()
                ? desktop.start(std::nullopt)
                : desktop.start(std::nullopt, FakePortal::RemoteDesktop{version, consent, offered});
        if (error)
            qWarning("%s", qPrintable(*error));
        return !error;
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
        QVERIFY(starts(desktop, u"wait"_s));
        Defaults settings(m_files.testFile());
        {
            PortalKeySink sink(desktop.bus(), settings);
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
            QCOMPARE(news.last().at(0).toString(), u"The desktop lets Cogwise type keys."_s);
            QCOMPARE(desktop.sessions(), 1u);

            QVERIFY(press(sink, VirtualKey::period()));
            QVERIFY(press(sink, VirtualKey::comma()));
            QVERIFY(press(sink, *VirtualKey::fromName(u"i"_s)));
            QVERIFY(press(sink, *VirtualKey::fromName(u"KP_Add"_s))); // at its place
            QVERIFY(!sink.setKeyMatching(KeyMatching::physicalKey));
            QVERIFY(press(sink, VirtualKey::period()));
            const QList<FakePortal::KeyEvent> expected =
                pressed(u"keysym"_s, 0x2e) + pressed(u"keysym"_s, 0x2c) + pressed(u"keysym"_s, 0x69) +
                pressed(u"keycode"_s, 78) + pressed(u"keycode"_s, 52);
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
            << true << false << u"The desktop's portal has no remote-desktop support"_s;
        QTest::newRow("no portal at all")
            << false << true << u"The desktop runs no portal service (xdg-desktop-portal)."_s;
    }

    void whenTheDesktopSaysNo()
    {
        QFETCH(bool, portalRuns);
        QFETCH(bool, offered);
        QFETCH(QString, reason);
        FakePortal desktop;
        QVERIFY(starts(desktop, portalRuns ? u"deny"_s : QString(), 2, offered));
        Defaults settings(m_files.testFile());
        PortalKeySink sink(desktop.bus(), settings);
        QVERIFY(asks(sink, Consent::refused));
        QVERIFY2(sink.unavailableReason().value_or(QString()).startsWith(reason),
                 qPrintable(sink.unavailableReason().value_or(QString())));
        QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down));
        QCOMPARE(sink.lastError(), *sink.unavailableReason());
        QVERIFY(sink.canAskAgain());
        if (portalRuns)
            QCOMPARE(desktop.keyEvents(), QList<FakePortal::KeyEvent>());
        if (!portalRuns || !offered)
            return;

        // Asked again, the rider allows it.
        QVERIFY(desktop.setConsent(u"allow"_s));
        QVERIFY(asks(sink, Consent::granted));
        QVERIFY(press(sink, VirtualKey::comma()));
        QTRY_COMPARE_WITH_TIMEOUT(desktop.keyEvents(), pressed(u"keysym"_s, 0x2c), FakePortal::timeoutMs);
        QCOMPARE(desktop.dialogs(), 2u);
    }

    void theDesktopEndingTheSessionMidRide()
    {
        FakePortal desktop;
        QVERIFY(starts(desktop, u"allow"_s));
        Defaults settings(m_files.testFile());
        PortalKeySink sink(desktop.bus(), settings);
        QVERIFY(asks(sink, Consent::granted));
        QSignalSpy news(&sink, &KeySink::changed);
        QVERIFY(desktop.closeSession());
        QVERIFY(settlesAs(sink, Consent::refused));
        QVERIFY(news.last().at(0).toString().startsWith(u"The desktop stopped letting Cogwise type keys."_s));
        QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down));
        QCOMPARE(desktop.keyEvents(), QList<FakePortal::KeyEvent>());
    }

    // Version 2 of the portal hands out a token that spares the next start the dialog; a token the
    // desktop no longer knows is forgotten; version 1 knows none.
    void theRestoreToken()
    {
        FakePortal desktop;
        QVERIFY(starts(desktop, u"allow"_s));
        Defaults settings(m_files.testFile());
        QString first;
        {
            PortalKeySink sink(desktop.bus(), settings);
            QVERIFY(asks(sink, Consent::granted));
            QCOMPARE(desktop.lastPersistMode(), 2u);
            first = settings.stringValue(SettingsKeys::remoteDesktopRestoreToken()).value_or(QString());
            QVERIFY(!first.isEmpty());
        }
        QVERIFY(desktop.setConsent(u"deny"_s));
        {
            PortalKeySink sink(desktop.bus(), settings);
            QVERIFY(asks(sink, Consent::granted));
            QCOMPARE(desktop.lastRestoreToken(), first);
            QCOMPARE(desktop.dialogs(), 1u);
        }
        const QString second =
            settings.stringValue(SettingsKeys::remoteDesktopRestoreToken()).value_or(QString());
        QVERIFY(!second.isEmpty() && second != first);

        settings.setString(SettingsKeys::remoteDesktopRestoreToken(), u"revoked-long-ago"_s);
        {
            PortalKeySink sink(desktop.bus(), settings);
            QVERIFY(asks(sink, Consent::refused));
        }
        QVERIFY(!settings.contains(SettingsKeys::remoteDesktopRestoreToken()));

        FakePortal older;
        QVERIFY(starts(older, u"allow"_s, 1));
        settings.setString(SettingsKeys::remoteDesktopRestoreToken(), first);
        PortalKeySink sink(older.bus(), settings);
        QVERIFY(asks(sink, Consent::granted));
        QCOMPARE(older.lastRestoreToken(), QString());
        QCOMPARE(older.lastPersistMode(), 0u);
    }
};

COGWISE_TEST(tst_PortalKeySink)
#include "tst_PortalKeySink.moc"
