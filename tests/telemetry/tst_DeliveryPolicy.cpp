#include "support/TestRegistry.h"
#include "telemetry/DeliveryPolicy.h"

#include <QTest>

using DeliveryPolicy::Outcome;
using std::chrono::milliseconds;
Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(std::optional<milliseconds>)

// What the sender makes of the service's answers. Every number here comes from outside.
class tst_DeliveryPolicy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void classify_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<Outcome>("outcome");
        for (const int status : {200, 202, 204, 299})
            QTest::addRow("%d", status) << status << Outcome::delivered;
        // Only the answers that blame the batch itself lead towards a drop.
        for (const int status : {400, 413, 422})
            QTest::addRow("%d", status) << status << Outcome::split;
        // Everything else keeps the batch: a wrong key, a redirect, an outage all end.
        for (const int status : {0,   100, 301, 302, 303, 307, 308, 401, 403, 404, 405,
                                 408, 410, 429, 451, 500, 501, 503, 505, 599, 999, -1})
            QTest::addRow("%d", status) << status << Outcome::retry;
    }

    void classify()
    {
        QFETCH(int, status);
        QFETCH(Outcome, outcome);
        QCOMPARE(DeliveryPolicy::classify(status), outcome);
    }

    void backoff()
    {
        const milliseconds minimum{10'000}, maximum{300'000};
        QCOMPARE(DeliveryPolicy::backoff(1, minimum, maximum, 0.5), milliseconds{10'000});
        QCOMPARE(DeliveryPolicy::backoff(3, minimum, maximum, 0.5), milliseconds{40'000});
        QCOMPARE(DeliveryPolicy::backoff(50, minimum, maximum, 0.5), milliseconds{300'000});
        QCOMPARE(DeliveryPolicy::backoff(1, minimum, maximum, 0.0), milliseconds{8'000});
        QCOMPARE(DeliveryPolicy::backoff(1, minimum, maximum, 1.0), milliseconds{12'000});
    }

    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<std::optional<milliseconds>>("delay");
        const std::optional<milliseconds> cap = milliseconds{3'600'000};

        QTest::newRow("seconds") << QByteArray("120") << std::optional(milliseconds{120'000});
        QTest::newRow("zero") << QByteArray("0") << std::optional(milliseconds{0});
        QTest::newRow("padded") << QByteArray(" 7 ") << std::optional(milliseconds{7'000});
        QTest::newRow("just the cap") << QByteArray("3600") << cap;
        QTest::newRow("above the cap") << QByteArray("3601") << cap;
        QTest::newRow("int64 max") << QByteArray("9223372036854775807") << cap;
        QTest::newRow("overflows when in ms") << QByteArray("99999999999999999") << cap;
        QTest::newRow("beyond int64") << QByteArray("99999999999999999999999999999") << cap;
        QTest::newRow("leading zeros")
            << QByteArray("0000000000000000000000000005") << std::optional(milliseconds{5'000});
        QTest::newRow("date") << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT")
                              << std::optional(milliseconds{60'000});
        QTest::newRow("date in the past")
            << QByteArray("Wed, 21 Oct 2015 07:00:00 GMT") << std::optional(milliseconds{0});
        QTest::newRow("date far ahead") << QByteArray("Fri, 31 Dec 9999 23:59:59 GMT") << cap;
        QTest::newRow("word") << QByteArray("soon") << std::optional<milliseconds>();
        QTest::newRow("negative") << QByteArray("-3") << std::optional<milliseconds>();
        QTest::newRow("signed") << QByteArray("+3") << std::optional<milliseconds>();
        QTest::newRow("fraction") << QByteArray("1.5") << std::optional<milliseconds>();
        QTest::newRow("empty") << QByteArray() << std::optional<milliseconds>();
        QTest::newRow("NUL") << QByteArray::fromHex("310032") << std::optional<milliseconds>(); // 1 NUL 2
    }

    void retryAfter()
    {
        QFETCH(QByteArray, header);
        QFETCH(std::optional<milliseconds>, delay);
        const QDateTime now(QDate(2015, 10, 21), QTime(7, 27, 0), Qt::UTC);
        QCOMPARE(DeliveryPolicy::retryAfter(header, now, milliseconds{3'600'000}), delay);
    }
};

COGWISE_TEST(tst_DeliveryPolicy)
#include "tst_DeliveryPolicy.moc"
