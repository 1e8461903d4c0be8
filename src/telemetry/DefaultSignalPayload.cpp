#include "telemetry/DefaultSignalPayload.h"

#include "telemetry/SessionManager.h"
#include "telemetry/TelemetryManagerConfiguration.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QRegularExpression>
#include <QScreen>
#include <QSysInfo>
#include <cmath>

namespace DefaultSignalPayload {

namespace {

const QString platformName = QStringLiteral("Linux");

QString modelName()
{
    QFile file(QStringLiteral("/sys/class/dmi/id/product_name"));
    const QString name =
        file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    return name.isEmpty() ? QStringLiteral("N/A") : name;
}

QString architecture()
{
    const QString arch = QSysInfo::currentCpuArchitecture();
    return arch == QLatin1String("arm64") ? QStringLiteral("arm64") : arch;
}

// Like the decimal text of a double elsewhere: 1080.0, 1.5.

const QScreen* mainScreen()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app ? QGuiApplication::primaryScreen() : nullptr;
}

QString colorScheme()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QStringLiteral("Light");
    // Qt 6.4 has no colour-scheme query; the palette follows the desktop's scheme.
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128 ? QStringLiteral("Dark")
                                                                                : QStringLiteral("Light");
}

QString preferredLanguage(const QLocale& locale)
{
    const QStringList languages = locale.uiLanguages();
    const QString first = languages.isEmpty() ? QStringLiteral("zz-ZZ") : languages.constFirst();
    return first.section(QRegularExpression(QStringLiteral("[-_]")), 0, 0);
}

} // namespace

QStringList versionComponents(const QString& version)
{
    QStringList parts = version.split(QLatin1Char('.'), Qt::SkipEmptyParts).mid(0, 3);
    while (parts.size() < 3)
        parts.append(QStringLiteral("0"));
    return parts;
}

QString doubleText(double value)
{
    return value == std::floor(value) ? QString::number(value, 'f', 1) : QString::number(value, 'g', 15);
}

QString timeZoneText(int offset)
{
    const int magnitude = std::abs(offset);
    QString text = QStringLiteral("UTC") + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
                   QString::number(magnitude / 3600);
    if (const int minutes = (magnitude % 3600) / 60; minutes != 0)
        text += QLatin1Char(':') + QString::asprintf("%02d", minutes);
    return text;
}

QMap<QString, QString> calendarParameters(const QDateTime& now)
{
    const QDateTime local = now.toLocalTime();
    const QDate date = local.date();
    const int weekday = date.dayOfWeek() % 7 + 1; // 1 is Sunday, as calendars count weekdays
    const auto boolText = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    return {
        {QStringLiteral("Telemetry.Calendar.dayOfMonth"), QString::number(date.day())},
        {QStringLiteral("Telemetry.Calendar.dayOfWeek"), QString::number(weekday)},
        {QStringLiteral("Telemetry.Calendar.dayOfYear"), QString::number(date.dayOfYear())},
        {QStringLiteral("Telemetry.Calendar.weekOfYear"), QString::number(date.weekNumber())},
        {QStringLiteral("Telemetry.Calendar.isWeekend"), boolText(date.dayOfWeek() >= 6)},
        {QStringLiteral("Telemetry.Calendar.monthOfYear"), QString::number(date.month())},
        {QStringLiteral("Telemetry.Calendar.quarterOfYear"), QString::number((date.month() - 1) / 3 + 1)},
        {QStringLiteral("Telemetry.Calendar.hourOfDay"), QString::number(local.time().hour())},
    };
}

QMap<QString, QString> parameters(const TelemetryManagerConfiguration& configuration,
                                  const SessionManager* sessions, const QDateTime& now)
{
    const QStringList version = versionComponents(QSysInfo::productVersion());
    const QString systemVersion = platformName + QLatin1Char(' ') + version.join(QLatin1Char('.'));
    const QString majorVersion = platformName + QLatin1Char(' ') + version.at(0);
    const QString majorMinorVersion =
        platformName + QLatin1Char(' ') + version.mid(0, 2).join(QLatin1Char('.'));
    const QString appVersion = configuration.appVersion.isEmpty() ? QCoreApplication::applicationVersion()
                                                                  : configuration.appVersion;
    const QString buildNumber = configuration.buildNumber.isEmpty() ? appVersion : configuration.buildNumber;
    const QString model = modelName();
    const QString arch = architecture();
    const QLocale locale = QLocale::system();
    const QString localeName = locale.name();
    const QString region = QLocale::territoryToCode(locale.territory());
    const QString language = QLocale::languageToCode(locale.language());
    const QString preferred = preferredLanguage(locale);
    const QString no = QStringLiteral("false");
    // A desktop build is neither a store build nor a beta-test build.
    const QString isTestFlight = no;
    const QString isAppStore = no;

    const QScreen* screen = mainScreen();
    const QString notAvailable = QStringLiteral("N/A");
    const QString clientVersionText = QString::fromLatin1(clientVersion);

    QMap<QString, QString> map{
        {QStringLiteral("platform"), platformName},
        {QStringLiteral("systemVersion"), systemVersion},
        {QStringLiteral("majorSystemVersion"), majorVersion},
        {QStringLiteral("majorMinorSystemVersion"), majorMinorVersion},
        {QStringLiteral("appVersion"), appVersion},
        {QStringLiteral("buildNumber"), buildNumber},
        {QStringLiteral("isSimulator"), no},
        {QStringLiteral("isDebug"), no},
        {QStringLiteral("isTestFlight"), isTestFlight},
        {QStringLiteral("isAppStore"), isAppStore},
        {QStringLiteral("modelName"), model},
        {QStringLiteral("architecture"), arch},
        {QStringLiteral("operatingSystem"), platformName},
        {QStringLiteral("targetEnvironment"), QStringLiteral("native")},
        {QStringLiteral("locale"), localeName},
        {QStringLiteral("region"), region},
        {QStringLiteral("appLanguage"), language},
        {QStringLiteral("preferredLanguage"), preferred},
        {QStringLiteral("telemetryClientVersion"), clientVersionText},
        {QStringLiteral("Telemetry.AppInfo.buildNumber"), buildNumber},
        {QStringLiteral("Telemetry.AppInfo.version"), appVersion},
        {QStringLiteral("Telemetry.AppInfo.versionAndBuildNumber"),
         QStringLiteral("%1 (build %2)").arg(appVersion, buildNumber)},
        {QStringLiteral("Telemetry.Device.architecture"), arch},
        {QStringLiteral("Telemetry.Device.modelName"), model},
        {QStringLiteral("Telemetry.Device.operatingSystem"), platformName},
        {QStringLiteral("Telemetry.Device.orientation"), QStringLiteral("Fixed")},
        {QStringLiteral("Telemetry.Device.platform"), platformName},
        {QStringLiteral("Telemetry.Device.screenResolutionHeight"),
         screen ? doubleText(screen->size().height()) : notAvailable},
        {QStringLiteral("Telemetry.Device.screenResolutionWidth"),
         screen ? doubleText(screen->size().width()) : notAvailable},
        {QStringLiteral("Telemetry.Device.screenScaleFactor"),
         screen ? doubleText(screen->devicePixelRatio()) : notAvailable},
        {QStringLiteral("Telemetry.Device.systemMajorMinorVersion"), majorMinorVersion},
        {QStringLiteral("Telemetry.Device.systemMajorVersion"), majorVersion},
        {QStringLiteral("Telemetry.Device.systemVersion"), systemVersion},
        {QStringLiteral("Telemetry.Device.timeZone"), timeZoneText(now.toLocalTime().offsetFromUtc())},
        {QStringLiteral("Telemetry.RunContext.isAppStore"), isAppStore},
        {QStringLiteral("Telemetry.RunContext.isDebug"), no},
        {QStringLiteral("Telemetry.RunContext.isSimulator"), no},
        {QStringLiteral("Telemetry.RunContext.isTestFlight"), isTestFlight},
        {QStringLiteral("Telemetry.RunContext.language"), language},
        {QStringLiteral("Telemetry.RunContext.locale"), localeName},
        {QStringLiteral("Telemetry.RunContext.targetEnvironment"), QStringLiteral("native")},
        {QStringLiteral("Telemetry.SDK.name"), QString::fromLatin1(clientName)},
        {QStringLiteral("Telemetry.SDK.nameAndVersion"),
         QString::fromLatin1(clientName) + QLatin1Char(' ') + clientVersionText},
        {QStringLiteral("Telemetry.SDK.version"), clientVersionText},
        {QStringLiteral("Telemetry.UserPreference.colorScheme"), colorScheme()},
        {QStringLiteral("Telemetry.UserPreference.language"), preferred},
        {QStringLiteral("Telemetry.UserPreference.layoutDirection"), locale.textDirection() == Qt::RightToLeft
                                                                         ? QStringLiteral("rightToLeft")
                                                                         : QStringLiteral("leftToRight")},
        {QStringLiteral("Telemetry.UserPreference.region"), region},
    };
    map.insert(calendarParameters(now));
    // The desktop does not tell these.
    map.insert(QStringLiteral("Telemetry.Accessibility.isReduceMotionEnabled"), no);
    map.insert(QStringLiteral("Telemetry.Accessibility.isInvertColorsEnabled"), no);
    if (sessions) {
        if (const auto first = sessions->firstSessionDate())
            map.insert(QStringLiteral("Telemetry.Acquisition.firstSessionDate"), *first);
        if (configuration.sessionStatsEnabled)
            map.insert(sessions->retentionParameters());
    }
    return map;
}

} // namespace DefaultSignalPayload
