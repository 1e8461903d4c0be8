#include "TelemetryRig.h"
#include "support/TestRegistry.h"
#include "telemetry/DefaultSignalPayload.h"
#include "telemetry/SignalManager.h"
#include "telemetry/SignalNaming.h"
#include "telemetry/SignalPostBody.h"
#include "telemetry/TelemetryManager.h"

#include <QTest>

namespace {

struct FixedEnricher final : SignalEnricher
{
    QMap<QString, QString> values;
    explicit FixedEnricher(QMap<QString, QString> map)
        : values(std::move(map))
    {}
    QMap<QString, QString> enrich(const QString&, const std::optional<QString>&,
                                  std::optional<double>) override
    {
        return values;
    }
};

} // namespace

// How one signal becomes its record: names, encodings, identity and parameters.
class tst_SignalRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodings()
    {
        SignalPostBody body;
        body.receivedAt = QDateTime(QDate(2025, 3, 1), QTime(14, 5, 9, 250), Qt::UTC);
        body.type = QStringLiteral("appLaunched");
        body.payload = {{QStringLiteral("device"), QStringLiteral("EW-WU111 \"é\"")}};
        body.isTestMode = QStringLiteral("false");
        const QJsonObject wire = body.toJson(SignalPostBody::DateEncoding::wire);
        QCOMPARE(wire.value(QStringLiteral("receivedAt")).toString(),
                 QStringLiteral("2025-03-01T14:05:09+0000"));
        QVERIFY(!wire.contains(QStringLiteral("floatValue")));

        body.floatValue = 2.5;
        const QJsonObject cache = body.toJson(SignalPostBody::DateEncoding::cache);
        QCOMPARE(cache.value(QStringLiteral("receivedAt")).toDouble(), 762530709.25);
        QCOMPARE(SignalPostBody::fromCacheJson(cache), std::optional(body));
        QJsonObject damaged = cache;
        damaged.insert(QStringLiteral("payload"), QJsonObject{{QStringLiteral("n"), 1}});
        QCOMPARE(SignalPostBody::fromCacheJson(damaged), std::nullopt);
    }

    void hashedUser()
    {
        // SHA-256 of "abc".
        QCOMPARE(SignalPostBody::hashedUser(QStringLiteral("ab"), QStringLiteral("c")),
                 QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        QVERIFY(SignalPostBody::hashedUser(QStringLiteral("ab"), QStringLiteral("d")) !=
                SignalPostBody::hashedUser(QStringLiteral("ab"), QStringLiteral("c")));
    }

    void namesAndWarnings()
    {
        QStringList warnings;
        TelemetryManagerConfiguration configuration(QStringLiteral("app"));
        configuration.defaultParameterPrefix = QStringLiteral("My.");
        configuration.logHandler = LogHandler{
            LogHandler::LogLevel::info, [&](LogHandler::LogLevel, const QString& m) { warnings.append(m); }};
        QCOMPARE(SignalNaming::prefixedKeys(
                     {{QStringLiteral("screen"), QString()}, {QStringLiteral("Telemetry.x"), QString()}},
                     configuration)
                     .keys(),
                 (QStringList{QStringLiteral("My.screen"), QStringLiteral("Telemetry.x")}));

        SignalNaming::warnAboutReservedType(QStringLiteral("TELEMETRY.thing"), configuration);
        SignalNaming::warnAboutReservedType(QStringLiteral("AppVersion"), configuration);
        SignalNaming::warnAboutReservedKeys(
            {{QStringLiteral("locale"), QString()}, {QStringLiteral("ok"), QString()}}, configuration);
        QCOMPARE(warnings.size(), 3);
        QVERIFY(
            warnings.at(0).startsWith(QStringLiteral("Sending signal with reserved prefix 'Telemetry.'")));
        QVERIFY(warnings.at(1).startsWith(QStringLiteral("Sending signal with reserved name 'AppVersion'")));
        QVERIFY(warnings.at(2).startsWith(QStringLiteral("Sending parameter with reserved key 'locale'")));

        qputenv("XCODE_RUNNING_FOR_PREVIEWS", "1");
        QVERIFY(configuration.isPreviewMode());
        configuration.swiftUIPreviewMode = false;
        QVERIFY(!configuration.isPreviewMode());
        qunsetenv("XCODE_RUNNING_FOR_PREVIEWS");
    }

    void parametersLayeredAndUserKept()
    {
        TelemetryRig rig;
        TelemetryManagerConfiguration configuration = rig.configuration();
        configuration.metadataEnrichers = {
            std::make_shared<FixedEnricher>(
                QMap<QString, QString>{{QStringLiteral("shared"), QStringLiteral("first")},
                                       {QStringLiteral("mine"), QStringLiteral("enricher")}}),
            std::make_shared<FixedEnricher>(
                QMap<QString, QString>{{QStringLiteral("shared"), QStringLiteral("second")}}),
        };
        configuration.defaultParameters = [] {
            return QMap<QString, QString>{{QStringLiteral("mine"), QStringLiteral("default")}};
        };
        configuration.testMode = true;
        TelemetryManager manager(configuration);
        manager.signal(QStringLiteral("a"),
                       {{QStringLiteral("Telemetry.Device.platform"), QStringLiteral("Pedal")}}, 1.5);
        manager.signal(QStringLiteral("b"));
        QTRY_COMPARE(manager.signalManager().queuedCount(), 2);
        manager.signalManager().checkForSignalsAndSend();
        QTRY_COMPARE(rig.server.requests().size(), 1);

        const QJsonArray records = rig.server.requests().constFirst().records;
        const QJsonObject first = records.at(0).toObject();
        const QJsonObject payload = first.value(QStringLiteral("payload")).toObject();
        QCOMPARE(payload.value(QStringLiteral("Telemetry.Device.platform")).toString(),
                 QStringLiteral("Pedal"));
        QCOMPARE(payload.value(QStringLiteral("shared")).toString(), QStringLiteral("second"));
        QCOMPARE(payload.value(QStringLiteral("mine")).toString(),
                 QStringLiteral("default")); // the signal's own
        QCOMPARE(first.value(QStringLiteral("floatValue")).toDouble(), 1.5);
        QCOMPARE(first.value(QStringLiteral("isTestMode")).toString(), QStringLiteral("true"));
        // One stored identifier for both records.
        QCOMPARE(records.at(1).toObject().value(QStringLiteral("clientUser")),
                 first.value(QStringLiteral("clientUser")));
    }

    void timeZoneAndVersions()
    {
        QCOMPARE(DefaultSignalPayload::timeZoneText(3600), QStringLiteral("UTC+1"));
        QCOMPARE(DefaultSignalPayload::timeZoneText(-5 * 3600), QStringLiteral("UTC-5"));
        QCOMPARE(DefaultSignalPayload::timeZoneText(5 * 3600 + 1800), QStringLiteral("UTC+5:30"));
        QCOMPARE(DefaultSignalPayload::timeZoneText(-(3 * 3600 + 1800)), QStringLiteral("UTC-3:30"));
        QCOMPARE(DefaultSignalPayload::timeZoneText(0), QStringLiteral("UTC+0"));
        QCOMPARE(DefaultSignalPayload::versionComponents(QStringLiteral("12")),
                 (QStringList{QStringLiteral("12"), QStringLiteral("0"), QStringLiteral("0")}));

        // Sunday 1 March 2026.
        const auto calendar =
            DefaultSignalPayload::calendarParameters(QDateTime(QDate(2026, 3, 1), QTime(18, 4)));
        QCOMPARE(calendar.value(QStringLiteral("Telemetry.Calendar.dayOfWeek")), QStringLiteral("1"));
        QCOMPARE(calendar.value(QStringLiteral("Telemetry.Calendar.isWeekend")), QStringLiteral("true"));
        QCOMPARE(calendar.value(QStringLiteral("Telemetry.Calendar.quarterOfYear")), QStringLiteral("1"));
        QCOMPARE(calendar.value(QStringLiteral("Telemetry.Calendar.hourOfDay")), QStringLiteral("18"));
    }
};

COGWISE_TEST(tst_SignalRecord)
#include "tst_SignalRecord.moc"
