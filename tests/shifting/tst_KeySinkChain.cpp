#include "fakes/RecordingKeySink.h"
#include "shifting/keysinks/KeySinkChain.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A sink that needs the desktop's consent, then XTest, as Cogwise chains them on Wayland.
struct Chain
{
    Chain()
    {
        auto first = std::make_unique<RecordingKeySink>(portalKeys);
        first->sinkName = QStringLiteral("portal");
        first->consentState = KeySink::Consent::notAsked;
        auto second = std::make_unique<RecordingKeySink>(xtestKeys);
        second->sinkName = QStringLiteral("xtest");
        portal = first.get();
        xtest = second.get();
        std::vector<std::unique_ptr<KeySink>> sinks;
        sinks.push_back(std::move(first));
        sinks.push_back(std::move(second));
        chain = std::make_unique<KeySinkChain>(std::move(sinks));
    }

    void type(VirtualKey key) { QVERIFY(chain->post(key, KeyDirection::down)); }

    QStringList portalKeys;
    QStringList xtestKeys;
    RecordingKeySink* portal = nullptr;
    RecordingKeySink* xtest = nullptr;
    std::unique_ptr<KeySinkChain> chain;
};

} // namespace

class tst_KeySinkChain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aRefusalFallsBackAndAskingAgainComesBack()
    {
        Chain rig;
        QSignalSpy news(rig.chain.get(), &KeySink::changed);
        QCOMPARE(rig.chain->name(), QStringLiteral("portal"));
        QVERIFY(rig.chain->awaitsConsent());
        QVERIFY(!rig.chain->unavailableReason());

        rig.chain->askConsent();
        rig.chain->askConsent(); // while asking: no second dialog
        QCOMPARE(rig.portal->asked, 1);
        rig.portal->answer(KeySink::Consent::refused,
                           QStringLiteral("You did not allow Cogwise to type keys."));
        QCOMPARE(rig.chain->name(), QStringLiteral("xtest"));
        QCOMPARE(news.last().at(0).toString(),
                 QStringLiteral("You did not allow Cogwise to type keys. Keys are now typed through XTest."));
        QVERIFY(rig.chain->canPostKeys());
        QVERIFY(rig.chain->canAskAgain());
        rig.type(VirtualKey::period());
        QCOMPARE(rig.xtestKeys, QStringList{QStringLiteral("47 down")});

        rig.chain->askConsent();
        QCOMPARE(rig.portal->asked, 2);
        QCOMPARE(rig.chain->name(), QStringLiteral("portal"));
        QCOMPARE(news.last().at(0).toString(), QStringLiteral("asking"));
        QVERIFY(rig.chain->awaitsConsent());
        rig.portal->answer(KeySink::Consent::granted, QStringLiteral("yes"));
        QCOMPARE(rig.chain->consent(), KeySink::Consent::granted);
        rig.type(VirtualKey::comma());
        QCOMPARE(rig.portalKeys, QStringList{QStringLiteral("43 down")});
        QVERIFY(!rig.chain->canAskAgain());
    }

    void theRidersKeyMatchingReachesEverySink()
    {
        Chain rig;
        QVERIFY(!rig.chain->setKeyMatching(KeyMatching::physicalKey));
        QCOMPARE(rig.portal->keyMatching(), KeyMatching::physicalKey);
        QCOMPARE(rig.xtest->keyMatching(), KeyMatching::physicalKey);
    }

    void withNoSinkLeftEveryReasonIsToldOnce()
    {
        Chain rig;
        rig.xtest->unavailable = QStringLiteral("There is no X display to type keys on.");
        rig.portal->answer(KeySink::Consent::refused, QString());
        QCOMPARE(rig.chain->name(), QStringLiteral("portal"));
        QCOMPARE(rig.chain->unavailableReason(),
                 QStringLiteral("refused There is no X display to type keys on."));
        QVERIFY(!rig.chain->post(VirtualKey::period(), KeyDirection::down));
        QCOMPARE(rig.chain->lastError(), QStringLiteral("refused for the test"));
    }
};

COGWISE_TEST(tst_KeySinkChain)
#include "tst_KeySinkChain.moc"
