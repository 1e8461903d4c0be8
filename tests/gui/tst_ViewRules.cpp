#include "gui/ViewRules.h"
#include "support/TestRegistry.h"

#include <QTest>

class tst_ViewRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signalBars_data()
    {
        QTest::addColumn<int>("rssi");
        QTest::addColumn<int>("bars");
        for (const auto& [rssi, bars] : std::initializer_list<std::pair<int, int>>{{0, 4},
                                                                                   {-50, 4},
                                                                                   {-51, 3},
                                                                                   {-60, 3},
                                                                                   {-61, 2},
                                                                                   {-70, 2},
                                                                                   {-71, 1},
                                                                                   {-127, 1},
                                                                                   {1, 1},
                                                                                   {127, 1}})
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
        QTest::newRow("missing") << std::optional<int>() << QStringLiteral("battery.0")
                                 << QStringLiteral("red");
        QTest::newRow("0") << std::optional<int>(0) << QStringLiteral("battery.0") << QStringLiteral("red");
        QTest::newRow("20") << std::optional<int>(20) << QStringLiteral("battery.0") << QStringLiteral("red");
        QTest::newRow("21") << std::optional<int>(21) << QStringLiteral("battery.25")
                            << QStringLiteral("yellow");
        QTest::newRow("40") << std::optional<int>(40) << QStringLiteral("battery.25")
                            << QStringLiteral("yellow");
        QTest::newRow("41") << std::optional<int>(41) << QStringLiteral("battery.75")
                            << QStringLiteral("green");
        QTest::newRow("80") << std::optional<int>(80) << QStringLiteral("battery.75")
                            << QStringLiteral("green");
        QTest::newRow("81") << std::optional<int>(81) << QStringLiteral("battery.100")
                            << QStringLiteral("green");
        QTest::newRow("100") << std::optional<int>(100) << QStringLiteral("battery.100")
                             << QStringLiteral("green");
        QTest::newRow("above 100") << std::optional<int>(101) << QStringLiteral("battery.75")
                                   << QStringLiteral("green");
        QTest::newRow("negative") << std::optional<int>(-1) << QStringLiteral("battery.75")
                                  << QStringLiteral("green");
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
        QTest::newRow("Dura-Ace") << std::optional<QString>(QStringLiteral("RD-R9150"))
                                  << QStringLiteral("9150");
        QTest::newRow("lower case") << std::optional<QString>(QStringLiteral("rd-r9170"))
                                    << QStringLiteral("9150");
        QTest::newRow("Ultegra") << std::optional<QString>(QStringLiteral("EW-WU8100"))
                                 << QStringLiteral("8150");
        QTest::newRow("8xxx before GRX")
            << std::optional<QString>(QStringLiteral("GRX-8150")) << QStringLiteral("8150");
        QTest::newRow("RX815") << std::optional<QString>(QStringLiteral("RD-RX815")) << QStringLiteral("grx");
        QTest::newRow("GRX") << std::optional<QString>(QStringLiteral("grx unit")) << QStringLiteral("grx");
        QTest::newRow("wireless unit")
            << std::optional<QString>(QStringLiteral("EW-WU111")) << QStringLiteral("8150");
        QTest::newRow("none") << std::optional<QString>() << QStringLiteral("8150");
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
            << QStringLiteral("Configured Keyboard Button 2 for action: Shift Up")
            << QStringLiteral("hand.tap.fill") << QStringLiteral("blue");
        QTest::newRow("keyboard, any case") << QStringLiteral("KEYBOARD emulation enabled")
                                            << QStringLiteral("keyboard.fill") << QStringLiteral("orange");
        QTest::newRow("disconnect") << QStringLiteral("Disconnected from EW-WU111")
                                    << QStringLiteral("link.badge.xmark") << QStringLiteral("red");
        QTest::newRow("connect") << QStringLiteral("Connected to EW-WU111") << QStringLiteral("link")
                                 << QStringLiteral("green");
        QTest::newRow("configured") << QStringLiteral("Configured something")
                                    << QStringLiteral("gearshape.fill") << QStringLiteral("purple");
        QTest::newRow("other") << QStringLiteral("Set initial virtual gear to 5")
                               << QStringLiteral("info.circle.fill") << QStringLiteral("gray");
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
