#include "shifting/VirtualKey.h"
#include "shifting/keysinks/bluez/HidKeyboardReport.h"
#include "support/HidDescriptorWalker.h"
#include "support/TestRegistry.h"

#include <QTest>

class tst_HidKeyboardReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A host reads the map to learn how long the input report is and which usages a key slot
    // may hold: a map that disagrees with what we send makes iOS ignore the keyboard silently.
    void theMapDescribesTheReportsWeSend()
    {
        const HidDescriptorWalker map(HidKeyboardReport::reportMap());
        QVERIFY2(!map.error, qPrintable(map.error.value_or(QString())));
        QCOMPARE(map.inputBits.keys(), QList<int>{HidKeyboardReport::inputReportId});
        QCOMPARE(map.inputBits.value(HidKeyboardReport::inputReportId), HidKeyboardReport::reportLength * 8);
        for (const VirtualKey::Info& info : VirtualKey::catalogue()) {
            const auto stroke = HidKeyboardReport::strokeOf(*VirtualKey::fromCode(info.code));
            QVERIFY2(stroke, info.name); // every key a rider may pick can be sent
            QVERIFY2(stroke->usage >= 4 && stroke->usage <= map.keyArrayUsageMax, info.name);
            QVERIFY2(stroke->usage <= map.keyArrayLogicalMax, info.name);
        }
    }

    void keysArriveAtTheirUsKeyboardPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("report");
        // Rouvy's and MyWhoosh's keys, arrows, a function key.
        QTest::newRow("period") << "period" << QByteArray::fromHex("0000370000000000");
        QTest::newRow("comma") << "comma" << QByteArray::fromHex("0000360000000000");
        QTest::newRow("i") << "i" << QByteArray::fromHex("00000c0000000000");
        QTest::newRow("k") << "k" << QByteArray::fromHex("00000e0000000000");
        QTest::newRow("up") << "Up" << QByteArray::fromHex("0000520000000000");
        QTest::newRow("down") << "Down" << QByteArray::fromHex("0000510000000000");
        QTest::newRow("F5") << "F5" << QByteArray::fromHex("00003e0000000000");
        QTest::newRow("0 after 9") << "0" << QByteArray::fromHex("0000270000000000");
    }

    void keysArriveAtTheirUsKeyboardPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, report);
        const auto key = VirtualKey::fromName(name);
        QVERIFY(key);
        const auto stroke = HidKeyboardReport::strokeOf(*key);
        QVERIFY(stroke);
        QCOMPARE(HidKeyboardReport::pressed(*stroke), report);
        QCOMPARE(HidKeyboardReport::released(), QByteArray(8, '\0'));
    }
};

COGWISE_TEST(tst_HidKeyboardReport)
#include "tst_HidKeyboardReport.moc"
