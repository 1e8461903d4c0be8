#include "support/TestRegistry.h"
#include "telemetry/DefaultSignalPayload.h"
#include "telemetry/SignalNaming.h"
#include "telemetry/SignalPostBody.h"
#include "telemetry/TelemetryManagerConfiguration.h"

#include <QTest>

using namespace Qt::StringLiterals;

// How one signal becomes its record: names, encodings and identity (the parameters' layering:
// tst_SignalDelivery::requestIsThePostOfTheService).
class tst_SignalRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodings()
    {
        SignalPostBody body;
        body.receivedAt = QDateTime(QDate(2025, 3, 1), QTime(14, 5, 9, 250), Qt::UTC);
        body.type = u"appLaunched"_s;
        body.payload = {{u"device"_s, u"EW-WU111 \"é\""_s}};
        body.isTestMode = u"false"_s;
        const QJsonObject wire = body.toJson(SignalPostBody::DateEncoding::wire);
        QCOMPARE(wire.value(u"receivedAt"_s).toString(), u"2025-03-01T14:05:09+0000"_s);
        QVERIFY(!wire.contains(u"floatValue"_s));

        body.floatValue = 2.5;
        const QJsonObject cache = body.toJson(SignalPostBody::DateEncoding::cache);
        QCOMPARE(cache.value(u"receivedAt"_s).toDouble(), 762530709.25);
        QCOMPARE(SignalPostBody::fromCacheJson(cache), std::optional(body));
        QJsonObject damaged = cache;
        damaged.insert(u"payload"_s, QJsonObject{{u"n"_s, 1}});
        QCOMPARE(SignalPostBody::fromCacheJson(damaged), std::nullopt);
    }

    void hashedUser()
    {
        // SHA-256 of "abc".
        QCOMPARE(SignalPostBody::hashedUser(u"ab"_s, u"c"_s),
                 u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s);
        QVERIFY(SignalPostBody::hashedUser(u"ab"_s, u"d"_s) != SignalPostBody::hashedUser(u"ab"_s, u"c"_s));
    }

    void namesAndWarnings()
    {
        QStringList warnings;
        TelemetryManagerConfiguration configuration(u"app"_s);
        configuration.defaultParameterPrefix = u"My."_s;
        configuration.logHandler = LogHandler{
            LogHandler::LogLevel::info, [&](LogHandler::LogLevel, const QString& m) { warnings.append(m); }};
        QCOMPARE(SignalNaming::prefixedKeys({{u"screen"_s, QString()}, {u"Telemetry.x"_s, QString()}},
                                            configuration)
                     .keys(),
                 (QStringList{u"My.screen"_s, u"Telemetry.x"_s}));

        SignalNaming::warnAboutReservedType(u"TELEMETRY.thing"_s, configuration);
        SignalNaming::warnAboutReservedType(u"AppVersion"_s, configuration);
        SignalNaming::warnAboutReservedKeys({{u"locale"_s, QString()}, {u"ok"_s, QString()}}, configuration);
        QCOMPARE(warnings.size(), 3);
        QVERIFY(warnings.at(0).startsWith(u"Sending signal with reserved prefix 'Telemetry.'"_s));
        QVERIFY(warnings.at(1).startsWith(u"Sending signal with reserved name 'AppVersion'"_s));
        QVERIFY(warnings.at(2).startsWith(u"Sending parameter with reserved key 'locale'"_s));

        qputenv("XCODE_RUNNING_FOR_PREVIEWS", "1");
        QVERIFY(configuration.isPreviewMode());
        configuration.swiftUIPreviewMode = false;
        QVERIFY(!configuration.isPreviewMode());
        qunsetenv("XCODE_RUNNING_FOR_PREVIEWS");
    }

    void timeZoneAndVersions()
    {
        QCOMPARE(DefaultSignalPayload::timeZoneText(3600), u"UTC+1"_s);
        QCOMPARE(DefaultSignalPayload::timeZoneText(-5 * 3600), u"UTC-5"_s);
        QCOMPARE(DefaultSignalPayload::timeZoneText(5 * 3600 + 1800), u"UTC+5:30"_s);
        QCOMPARE(DefaultSignalPayload::timeZoneText(-(3 * 3600 + 1800)), u"UTC-3:30"_s);
        QCOMPARE(DefaultSignalPayload::timeZoneText(0), u"UTC+0"_s);
        QCOMPARE(DefaultSignalPayload::versionComponents(u"12"_s), (QStringList{u"12"_s, u"0"_s, u"0"_s}));

        // Sunday 1 March 2026.
        const auto calendar =
            DefaultSignalPayload::calendarParameters(QDateTime(QDate(2026, 3, 1), QTime(18, 4)));
        QCOMPARE(calendar.value(u"Telemetry.Calendar.dayOfWeek"_s), u"1"_s);
        QCOMPARE(calendar.value(u"Telemetry.Calendar.isWeekend"_s), u"true"_s);
        QCOMPARE(calendar.value(u"Telemetry.Calendar.quarterOfYear"_s), u"1"_s);
        QCOMPARE(calendar.value(u"Telemetry.Calendar.hourOfDay"_s), u"18"_s);
    }
};

COGWISE_TEST(tst_SignalRecord)
#include "tst_SignalRecord.moc"
