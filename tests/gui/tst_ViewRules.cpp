#include "gui/ViewRules.h"
#include "support/TestRegistry.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_ViewRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signalBars_data()
    {
        QTest::addColumn<int>("rssi");
        QTest::addColumn<int>("bars");
        const std::pair<int, int> rows[] = {{0, 4},   {-50, 4}, {-51, 3}, {-60, 3}, {-61, 2},
                                            {-70, 2}, {-71, 1}, {1, 1},   {127, 1}};
        for (const auto& [rssi, bars] : rows)
            QTest::addRow("%d dBm", rssi) << rssi << bars;
    }
    void signalBars()
    {
        QFETCH(int, rssi);
        QFETCH(int, bars);
        QCOMPARE(ViewRules::litSignalBars(rssi), bars);
    }

    void battery_data()
    {
        QTest::addColumn<std::optional<int>>("level");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("color");
        QTest::newRow("missing, read as 0") << std::optional<int>() << u"battery.0"_s << u"red"_s;
        QTest::newRow("20") << std::optional<int>(20) << u"battery.0"_s << u"red"_s;
        QTest::newRow("21") << std::optional<int>(21) << u"battery.25"_s << u"yellow"_s;
        QTest::newRow("40") << std::optional<int>(40) << u"battery.25"_s << u"yellow"_s;
        QTest::newRow("41") << std::optional<int>(41) << u"battery.75"_s << u"green"_s;
        QTest::newRow("80") << std::optional<int>(80) << u"battery.75"_s << u"green"_s;
        QTest::newRow("81") << std::optional<int>(81) << u"battery.100"_s << u"green"_s;
        QTest::newRow("100") << std::optional<int>(100) << u"battery.100"_s << u"green"_s;
        QTest::newRow("above 100") << std::optional<int>(101) << u"battery.75"_s << u"green"_s;
        QTest::newRow("negative") << std::optional<int>(-1) << u"battery.75"_s << u"green"_s;
    }
    void battery()
    {
        QFETCH(std::optional<int>, level);
        QFETCH(QString, icon);
        QFETCH(QString, color);
        QCOMPARE(ViewRules::battery(level).icon, icon);
        QCOMPARE(ViewRules::battery(level).color, color);
    }

    void devicePicture_data()
    {
        QTest::addColumn<std::optional<QString>>("model");
        QTest::addColumn<QString>("picture");
        QTest::newRow("Dura-Ace") << std::optional<QString>(u"RD-R9150"_s) << u"9150"_s;
        QTest::newRow("lower case") << std::optional<QString>(u"rd-r9170"_s) << u"9150"_s;
        QTest::newRow("8xxx before GRX") << std::optional<QString>(u"GRX-8150"_s) << u"8150"_s;
        QTest::newRow("RX815") << std::optional<QString>(u"RD-RX815"_s) << u"grx"_s;
        QTest::newRow("wireless unit") << std::optional<QString>(u"EW-WU111"_s) << u"8150"_s;
        QTest::newRow("none") << std::optional<QString>() << u"8150"_s;
    }
    void devicePicture()
    {
        QFETCH(std::optional<QString>, model);
        QFETCH(QString, picture);
        QCOMPARE(ViewRules::devicePicture(model), picture);
    }

    void logIcon_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("color");
        QTest::newRow("button before keyboard")
            << u"Configured Keyboard Button 2 for action: Shift Up"_s << u"hand.tap.fill"_s << u"blue"_s;
        QTest::newRow("keyboard, any case")
            << u"KEYBOARD emulation enabled"_s << u"keyboard.fill"_s << u"orange"_s;
        QTest::newRow("disconnect") << u"Disconnected from EW-WU111"_s << u"link.badge.xmark"_s << u"red"_s;
        QTest::newRow("connect") << u"Connected to EW-WU111"_s << u"link"_s << u"green"_s;
        QTest::newRow("configured") << u"Configured something"_s << u"gearshape.fill"_s << u"purple"_s;
        QTest::newRow("other") << u"Set initial virtual gear to 5"_s << u"info.circle.fill"_s << u"gray"_s;
    }
    void logIcon()
    {
        QFETCH(QString, message);
        QFETCH(QString, icon);
        QFETCH(QString, color);
        QCOMPARE(ViewRules::logIcon(message).icon, icon);
        QCOMPARE(ViewRules::logIcon(message).color, color);
    }
};

COGWISE_TEST(tst_ViewRules)
#include "tst_ViewRules.moc"
