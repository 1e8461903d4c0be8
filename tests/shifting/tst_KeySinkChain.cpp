#include "fakes/RecordingKeySink.h"
#include "shifting/keysinks/KeySinkChain.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A sink that needs the desktop's consent, then XTest, as Cogwise chains them on Wayland.
struct Chain
{
    Chain()
    {
        auto first = std::make_unique<RecordingKeySink>(portalKeys);
        first->sinkName = u"portal"_s;
        first->consentState = KeySink::Consent::notAsked;
        auto second = std::make_unique<RecordingKeySink>(xtestKeys);
        second->sinkName = u"xtest"_s;
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
        QCOMPARE(rig.chain->name(), u"portal"_s);
        QVERIFY(rig.chain->awaitsConsent());
        QVERIFY(!rig.chain->unavailableReason());

        rig.chain->askConsent();
        rig.chain->askConsent(); // while asking: no second dialog
        QCOMPARE(rig.portal->asked, 1);
        rig.portal->answer(KeySink::Consent::refused, u"You did not allow Cogwise to type keys."_s);
        QCOMPARE(rig.chain->name(), u"xtest"_s);
        QCOMPARE(news.last().at(0).toString(),
                 u"You did not allow Cogwise to type keys. Keys are now typed through XTest."_s);
        QVERIFY(rig.chain->canPostKeys());
        QVERIFY(rig.chain->canAskAgain());
        rig.type(VirtualKey::period());
        QCOMPARE(rig.xtestKeys, QStringList{u"47 down"_s});

        rig.chain->askConsent();
        QCOMPARE(rig.portal->asked, 2);
        QCOMPARE(rig.chain->name(), u"portal"_s);
        QCOMPARE(news.last().at(0).toString(), u"asking"_s);
        QVERIFY(rig.chain->awaitsConsent());
        rig.portal->answer(KeySink::Consent::granted, u"yes"_s);
        QCOMPARE(rig.chain->consent(), KeySink::Consent::granted);
        rig.type(VirtualKey::comma());
        QCOMPARE(rig.portalKeys, QStringList{u"43 down"_s});
        QVERIFY(!rig.chain->canAskAgain());

        // The rider's key matching reaches every sink.
        QVERIFY(!rig.chain->setKeyMatching(KeyMatching::physicalKey));
        QCOMPARE(rig.portal->keyMatching(), KeyMatching::physicalKey);
        QCOMPARE(rig.xtest->keyMatching(), KeyMatching::physicalKey);
    }

    void withNoSinkLeftEveryReasonIsToldOnce()
    {
        Chain rig;
        rig.xtest->unavailable = u"There is no X display to type keys on."_s;
        rig.portal->answer(KeySink::Consent::refused, QString());
        QCOMPARE(rig.chain->name(), u"portal"_s);
        QCOMPARE(rig.chain->unavailableReason(), u"refused There is no X display to type keys on."_s);
        QVERIFY(!rig.chain->post(VirtualKey::period(), KeyDirection::down));
        QCOMPARE(rig.chain->lastError(), u"refused for the test"_s);
    }
};

COGWISE_TEST(tst_KeySinkChain)
#include "tst_KeySinkChain.moc"
