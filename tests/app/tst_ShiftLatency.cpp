#include "app/ShiftLatency.h"
#include "support/TestRegistry.h"

#include <QTest>

class tst_ShiftLatency : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void medianOfTheRideAndTheText_data()
    {
        QTest::addColumn<QList<qint64>>("samples");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << QList<qint64>{} << QString();
        QTest::newRow("odd, unsorted") << QList<qint64>{900'000, 200'000, 4'250'000}
                                       << QStringLiteral("Last shift: 4.3 ms · median 0.90 ms this ride");
        QTest::newRow("even: between the middle two")
            << QList<qint64>{100'000'000, 300'000, 500'000, 700'000}
            << QStringLiteral("Last shift: 0.70 ms · median 0.60 ms this ride");
        QTest::newRow("a clock that stepped back reads as zero")
            << QList<qint64>{-5} << QStringLiteral("Last shift: 0.00 ms · median 0.00 ms this ride");
    }
    void medianOfTheRideAndTheText()
    {
        QFETCH(QList<qint64>, samples);
        QFETCH(QString, text);
        ShiftLatency latency;
        for (qint64 sample : samples)
            latency.record(sample);
        QCOMPARE(latency.text(), text);
        latency.reset();
        QCOMPARE(latency.text(), QString());
    }

    // A long ride keeps the newest presses only, so the median follows how the ride goes now.
    void aLongRideKeepsTheNewestPresses()
    {
        ShiftLatency latency;
        for (std::size_t i = 0; i < ShiftLatency::maxSamples; ++i)
            latency.record(100'000'000);
        for (std::size_t i = 0; i <= ShiftLatency::maxSamples / 2; ++i)
            latency.record(200'000);
        QCOMPARE(latency.median(), std::optional<qint64>(200'000));
    }
};

COGWISE_TEST(tst_ShiftLatency)
#include "tst_ShiftLatency.moc"
