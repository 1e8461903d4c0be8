// cogwise: Di2 shifter buttons as virtual gear changes. The composition root:
// options, backends, the object graph, then the window or the headless mode.

#include "analytics/Analytics.h"
#include "analytics/UsageStatisticsChoice.h"
#include "app/AppGraph.h"
#include "app/HeadlessConnector.h"
#include "app/SetupCheck.h"
#include "app/ShutdownSignals.h"
#include "app/Updater.h"
#include "bluetooth/qt/BluetoothAddressId.h"
#include "bluetooth/qt/BluezSetup.h"
#include "bluetooth/qt/QtBleCentral.h"
#include "bluetooth/simulated/SimulatedCentral.h"
#include "di2/PrintableText.h"
#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"
#include "diagnostics/QueuedWork.h"
#include "gui/CogwiseApp.h"
#include "gui/ColorScheme.h"
#include "gui/IconProvider.h"
#include "platform/AppIdentity.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "platform/StandardErrorLog.h"
#include "shifting/KeySequencer.h"
#include "shifting/RemoteKeySink.h"
#include "shifting/TrainerApp.h"
#include "shifting/UserDefaultsManager.h"
#include "shifting/keysinks/KeySinkFactory.h"
#include "shifting/keysinks/KeyTypingInspector.h"
#include "telemetry/Telemetry.h"
#include "telemetry/TelemetryManager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTextStream>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr int exitUnreadable = 1;
constexpr int exitUsage = 2;
const QString telemetryAppID = QStringLiteral("3F2C8A10-5B7D-4E21-9C44-A1B2C3D4E5F6");

int fail(int status, const QString& message)
{
    QTextStream(stderr) << "cogwise: " << message << '\n';
    return status;
}

// QCommandLineParser has no options with optional values: --simulate=CAPTURE is taken apart here.
std::optional<QString> takeSimulateCapture(QStringList& arguments)
{
    const QString prefix = QStringLiteral("--simulate=");
    for (QString& argument : arguments) {
        if (argument.startsWith(prefix)) {
            const QString capture = argument.mid(prefix.size());
            argument = QStringLiteral("--simulate");
            return capture;
        }
    }
    return std::nullopt;
}

// A window needs a display; --help and --version need none either.
bool wantsWindow(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--headless" || argument == "--help" || argument == "-h" || argument == "--version" ||
            argument == "-v" || argument == "--check")
            return false;
    }
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// A unit as the rider names it: its Bluetooth address, or our identifier text.
std::optional<QUuid> unitIdentifier(const QString& text)
{
    const QBluetoothAddress address(text);
    if (!address.isNull())
        return BluetoothAddressId::identifier(address);
    const QUuid identifier = QUuid::fromString(text);
    if (!identifier.isNull())
        return identifier;
    return std::nullopt;
}

QString trainerAppIds()
{
    QStringList ids;
    for (const TrainerApp& app : TrainerApp::all())
        ids.append(app.id);
    return ids.join(QLatin1Char('|'));
}

QString addressOf(const QUuid& identifier)
{
    const auto address = BluetoothAddressId::address(identifier);
    return address ? address->toString() : identifier.toString(QUuid::WithoutBraces).toUpper();
}

// `cogwise --check`: the setup check's lines on standard output; 0 when Cogwise can ride.
int checkSetup(bool listen)
{
    Defaults defaults;
    KeySinkFactory::Choice keys = KeySinkFactory::choose(defaults);
    // As the keyboard service does: the stored way of matching keys, where the sink can.
    if (const auto matching = UserDefaultsManager(defaults).keyMatching())
        keys.sink->setKeyMatching(*matching);
    // The keyboard registers with bluetoothd asynchronously: its first news says how that went.
    if (auto* keyboard = qobject_cast<RemoteKeySink*>(keys.sink.get());
        keyboard && keyboard->sendsToDevice() && !keyboard->ready()) {
        QEventLoop settling;
        QTimer::singleShot(std::chrono::seconds{3}, &settling, &QEventLoop::quit);
        QObject::connect(keyboard, &KeySink::changed, &settling, &QEventLoop::quit);
        settling.exec();
    }
    BluezSetup bluetooth;
    KeyTypingInspector keyTyping;
    SetupCheck check({defaults, bluetooth, keyTyping, *keys.sink, keys.reason});
    QObject::connect(&check, &SetupCheck::finished, &check, &QCoreApplication::quit, Qt::QueuedConnection);
    if (listen)
        QTextStream(stderr) << "cogwise: listening a few seconds for your unit (--no-scan skips that)\n";
    check.start(listen);
    QCoreApplication::exec();
    QTextStream out(stdout);
    for (const SetupCheck::Line& line : check.lines())
        out << SetupCheck::format(line) << '\n';
    out << check.summary() << '\n';
    return check.readyToRide() ? 0 : 1;
}

int runWindow(QGuiApplication& app, AppGraph& graph, Analytics& analytics, const QVersionNumber& version,
              const QString& keySinkReason, bool simulated)
{
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE"))
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
    // Follows the desktop's light or dark preference while the window is open.
    ColorScheme scheme(app, qEnvironmentVariable("COGWISE_COLOR_SCHEME"));
    QGuiApplication::setDesktopFileName(QStringLiteral("app.cogwise.Cogwise"));
    QGuiApplication::setWindowIcon(QIcon(IconProvider::filePath(QStringLiteral("Icon"))));

    Updater updater(Updater::defaultFeed(), version);
    updater.start();
    BluezSetup bluetooth;
    KeyTypingInspector keyTyping;
    SetupCheck setupCheck(
        {graph.defaults(), bluetooth, keyTyping, graph.keySink(), keySinkReason, simulated});
    CogwiseApp cogwise({graph, analytics, updater, DebugLogService::shared(), setupCheck,
                        [](bool disabled) {
                            if (TelemetryManager* manager = Telemetry::manager())
                                manager->setAnalyticsDisabled(disabled);
                        },
                        addressOf});
    QQmlApplicationEngine engine;
    CogwiseApp::prepare(engine);
    engine.setInitialProperties({{QStringLiteral("app"), QVariant::fromValue(&cogwise)}});
    engine.load(CogwiseApp::mainWindowUrl());
    auto* window =
        engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    if (!window)
        return fail(1, QStringLiteral("the window could not be loaded"));
    cogwise.flow()->start();

    // scripts/bench times the start to the first frame on screen. The frame is swapped on the
    // render thread: the time is taken there, the quit is queued to this one.
    if (qEnvironmentVariableIsSet("COGWISE_QUIT_AFTER_FIRST_FRAME")) {
        QObject::connect(
            window, &QQuickWindow::frameSwapped, window,
            [reported = std::make_shared<std::atomic_bool>(false)] {
                if (reported->exchange(true))
                    return;
                const auto now = std::chrono::system_clock::now().time_since_epoch();
                std::fprintf(stderr, "first frame swapped at %lld us\n",
                             static_cast<long long>(
                                 std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
                QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            },
            Qt::DirectConnection);
    }

    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested, &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    const bool window = wantsWindow(argc, argv);
    std::unique_ptr<QCoreApplication> application = window ? std::make_unique<QGuiApplication>(argc, argv)
                                                           : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication& app = *application;
    QCoreApplication::setOrganizationName(AppIdentity::applicationName());
    QCoreApplication::setApplicationName(AppIdentity::applicationName());
    QCoreApplication::setApplicationVersion(QStringLiteral(COGWISE_VERSION));

    QStringList arguments = QCoreApplication::arguments();
    const std::optional<QString> capturePath = takeSimulateCapture(arguments);

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Shift the virtual gears of your training app with your Di2 shifters."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Write every log line, debug included, to standard error."));
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Use a simulated Di2 unit instead of Bluetooth; --simulate=CAPTURE replays a "
                       "capture (the format of cogwise-replay) and exits when it is done."));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("No window: print the event log, connect by itself."));
    const QCommandLineOption enableKeys(
        QStringLiteral("enable-keys"),
        QStringLiteral("Switch keyboard emulation on (kept, like the switch in the window)."));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("Use the Di2 unit with this Bluetooth address (or identifier) and keep it as yours."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption trainerApp(
        QStringLiteral("trainer-app"),
        QStringLiteral("Press the shift keys of this trainer app (%1; custom: the keys picked in the "
                       "window), and keep the choice.")
            .arg(trainerAppIds()),
        QStringLiteral("APP"));
    const QCommandLineOption keyHold(
        QStringLiteral("key-hold"),
        QStringLiteral("Hold each key this many milliseconds, %1 to %2, and keep the choice.")
            .arg(KeySequencer::minHold.count())
            .arg(KeySequencer::maxHold.count()),
        QStringLiteral("MS"));
    const QCommandLineOption keysTo(
        QStringLiteral("keys-to"),
        QStringLiteral("Send keys to this computer (local) or to a device paired over Bluetooth (bluetooth), "
                       "and keep the choice."),
        QStringLiteral("WHERE"));
    const QCommandLineOption pair(
        QStringLiteral("pair"),
        QStringLiteral("Let a new device pair with Cogwise's Bluetooth keyboard for two minutes."));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral(
            "Check what riding needs (Bluetooth, typing keys, the keyboard layout), one line each; "
            "exit status 0 when all of it is in place."));
    const QCommandLineOption noScan(
        QStringLiteral("no-scan"),
        QStringLiteral("With --check: do not listen for your unit's advertisements."));
    options.addOptions(
        {verbose, simulate, headless, enableKeys, device, trainerApp, keyHold, keysTo, pair, check, noScan});
    if (!options.parse(arguments))
        return fail(exitUsage, options.errorText());
    if (options.isSet(QStringLiteral("help")))
        options.showHelp(0);
    if (options.isSet(QStringLiteral("version")))
        options.showVersion();

    if (options.isSet(verbose)) {
        QLoggingCategory::setFilterRules(QStringLiteral("cogwise*.debug=true"));
        auto log = std::make_unique<StandardErrorLog>();
        log->setShowsPrivateText(true);
        Logger::shared().setSystemLog(std::move(log));
    }
    if (options.isSet(check))
        return checkSetup(!options.isSet(noScan));

    std::optional<QUuid> chosenUnit;
    if (options.isSet(device)) {
        chosenUnit = unitIdentifier(options.value(device));
        if (!chosenUnit)
            return fail(
                exitUsage,
                QStringLiteral("--device takes a Bluetooth address such as C0:FF:EE:00:00:01, not \"%1\"")
                    .arg(options.value(device)));
    }

    const TrainerApp* chosenApp = nullptr;
    if (options.isSet(trainerApp)) {
        chosenApp = TrainerApp::find(options.value(trainerApp).toLower());
        if (!chosenApp)
            return fail(exitUsage, QStringLiteral("--trainer-app takes %1, not \"%2\"")
                                       .arg(trainerAppIds(), options.value(trainerApp)));
    }
    std::optional<QString> chosenDestination;
    if (options.isSet(keysTo)) {
        chosenDestination = options.value(keysTo).toLower();
        if (chosenDestination != QLatin1String("local") && chosenDestination != QLatin1String("bluetooth"))
            return fail(
                exitUsage,
                QStringLiteral("--keys-to takes local or bluetooth, not \"%1\"").arg(options.value(keysTo)));
    }
    std::optional<std::chrono::milliseconds> chosenHold;
    if (options.isSet(keyHold)) {
        bool ok = false;
        const int hold = options.value(keyHold).toInt(&ok);
        if (!ok || hold < KeySequencer::minHold.count() || hold > KeySequencer::maxHold.count())
            return fail(exitUsage, QStringLiteral("--key-hold takes milliseconds from %1 to %2, not \"%3\"")
                                       .arg(KeySequencer::minHold.count())
                                       .arg(KeySequencer::maxHold.count())
                                       .arg(options.value(keyHold)));
        chosenHold = std::chrono::milliseconds{hold};
    }

    QList<Di2CaptureRecord> ride;
    if (capturePath) {
        QFile file(*capturePath);
        if (!file.open(QIODevice::ReadOnly))
            return fail(exitUnreadable,
                        QStringLiteral("cannot open %1: %2").arg(*capturePath, file.errorString()));
        const auto parsed = Di2Capture::parse(file.readAll());
        if (const auto* error = std::get_if<Di2CaptureError>(&parsed))
            return fail(
                exitUsage,
                QStringLiteral("%1:%2: %3").arg(*capturePath).arg(error->lineNumber).arg(error->message));
        ride = std::get<QList<Di2CaptureRecord>>(parsed);
        if (ride.isEmpty())
            return fail(exitUsage, *capturePath + QStringLiteral(": the capture holds no notification"));
    }

    // A simulated session never changes what a real one relies on.
    const std::unique_ptr<Defaults> settings =
        options.isSet(simulate) ? Defaults::simulationCopy() : std::make_unique<Defaults>();
    Defaults& defaults = *settings;
    // A ride of the simulated unit is a demonstration, nobody's use of Cogwise: it reports nothing,
    // and the analytics client does not even start.
    Analytics demoAnalytics([](const QString&, const Analytics::Parameters&) {});
    Analytics& analytics = options.isSet(simulate) ? demoAnalytics : Analytics::shared();
    if (!options.isSet(simulate)) {
        TelemetryManagerConfiguration telemetry(telemetryAppID);
        // The rider's choice holds from the first event on. Until the welcome screen has asked,
        // nothing is sent or kept; the headless mode never asks.
        telemetry.analyticsDisabled = !UsageStatisticsChoice::isShared(defaults);
        telemetry.logHandler = LogHandler::standard(LogHandler::LogLevel::info, options.isSet(verbose));
        Telemetry::initialize(telemetry);
    }
    analytics.track(Analytics::TelemetrySignal::appLaunched);

    SimulatedCentral* simulated = nullptr;
    std::unique_ptr<BleCentral> central;
    if (options.isSet(simulate)) {
        auto simulatedCentral = std::make_unique<SimulatedCentral>(ride);
        simulated = simulatedCentral.get();
        central = std::move(simulatedCentral);
    } else {
        central = std::make_unique<QtBleCentral>();
    }

    if (chosenDestination)
        defaults.setString(SettingsKeys::keysTo(), *chosenDestination);
    // The rider's unit is the one Cogwise keeps; every other paired device may be a keyboard host.
    const auto isDi2Unit = [&defaults](const QString& address) {
        const auto saved = defaults.stringValue(SettingsKeys::lastConnectedDeviceUUID());
        return saved &&
               QUuid::fromString(*saved) == BluetoothAddressId::identifier(QBluetoothAddress(address));
    };

    int status = 0;
    {
        KeySinkFactory::Choice keySink =
            KeySinkFactory::choose(defaults, QProcessEnvironment::systemEnvironment(), isDi2Unit);
        AppGraph graph(defaults, analytics, std::move(central), std::move(keySink.sink));
        graph.setKeySinkReason(keySink.reason);
        Logger::shared().logInfo(
            QStringLiteral("Key sink %1 chosen: %2").arg(graph.keySink().name(), keySink.reason),
            QStringLiteral("KeySinkFactory"));
        // The event log goes to standard output in both modes, for scripts and tests; from
        // before the options apply, whose effects (the desktop asked to let Cogwise type) are news.
        QTextStream out(stdout);
        // Lines carry device names: nothing a device sends may steer the terminal.
        QObject::connect(&graph.viewModel(), &AppViewModel::logAdded, &app, [&out](const Log& entry) {
            out << entry.timestamp.toString(QStringLiteral("HH:mm:ss.zzz")) << ' '
                << PrintableText::escaped(entry.message) << Qt::endl;
        });
        if (const auto reason = graph.keySink().unavailableReason())
            QTextStream(stderr) << "cogwise: " << *reason << '\n';
        if (chosenApp)
            graph.keyboardService().setTrainerApp(*chosenApp);
        if (chosenHold)
            graph.keyboardService().setKeyHold(*chosenHold);
        if (options.isSet(enableKeys))
            graph.viewModel().setKeyboardEnabled(true);
        if (chosenUnit)
            graph.connectionService().chooseUnit(*chosenUnit);
        if (auto* keyboard = qobject_cast<RemoteKeySink*>(&graph.keySink())) {
            QObject::connect(keyboard, &RemoteKeySink::messageLogged, &graph.viewModel(),
                             &AppViewModel::addLog);
            QObject::connect(&graph.connectionService(), &ConnectionService::deviceInfoChanged, keyboard,
                             [keyboard](const Di2DeviceInfo& info) {
                                 if (info.batteryLevel)
                                     keyboard->setBatteryLevel(*info.batteryLevel);
                             });
            // Many controllers take one LE role at a time: a connected device can keep the unit out.
            QObject::connect(
                &graph.connectionService(), &ConnectionService::attemptFailed, keyboard,
                [keyboard, &graph, told = false]() mutable {
                    const auto hosts = keyboard->hosts();
                    const bool hostConnected =
                        std::any_of(hosts.cbegin(), hosts.cend(),
                                    [](const RemoteKeySink::Host& host) { return host.connected; });
                    if (told || !hostConnected || !keyboard->sendsToDevice() ||
                        keyboard->adapterRoles().contains(QStringLiteral("central-peripheral")))
                        return;
                    told = true;
                    graph.viewModel().addLog(
                        QStringLiteral("%1 may not reach your unit while a device is connected to "
                                       "Cogwise's keyboard. If the unit does not connect, give the "
                                       "keyboard a second Bluetooth adapter in Settings → Keys.")
                            .arg(keyboard->adapter()));
                });
        }
        if (auto* keyboard = qobject_cast<RemoteKeySink*>(&graph.keySink());
            keyboard && keyboard->sendsToDevice()) {
            if (options.isSet(pair))
                keyboard->openPairing();
        } else if (options.isSet(pair)) {
            QTextStream(stderr) << "cogwise: --pair needs keys sent to a device over Bluetooth (--keys-to "
                                   "bluetooth)\n";
        }

        if (window) {
            status = runWindow(static_cast<QGuiApplication&>(app), graph, analytics,
                               QVersionNumber::fromString(QCoreApplication::applicationVersion()),
                               keySink.reason, options.isSet(simulate));
        } else {
            if (!options.isSet(headless))
                QTextStream(stderr) << "cogwise: no display; running without a window\n";

            // Without a window, the connection's progress is told on standard error.
            QObject::connect(&graph.connectionService(), &ConnectionService::connectionStateChanged, &app,
                             [last = QString()](const ConnectionState& state) mutable {
                                 // Device-information updates keep the state "connected": told once.
                                 if (state.description() == std::exchange(last, state.description()))
                                     return;
                                 QTextStream(stderr) << "cogwise: " << PrintableText::escaped(last) << '\n';
                             });
            QTextStream err(stderr);
            HeadlessConnector connector(graph.connectionService(), addressOf, err);
            ShutdownSignals shutdown;
            QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested, &app, &QCoreApplication::quit);
            if (simulated && capturePath) {
                // The last packets' presses are typed, and their gear changes logged, before we go.
                KeySequencer& keys = graph.keyboardService().keySequencer();
                const auto quitWhenTyped = [&keys] {
                    QueuedWork::settle(Logger::shared(), DebugLogService::shared());
                    if (keys.isIdle()) {
                        QCoreApplication::quit();
                        return;
                    }
                    QObject::connect(
                        &keys, &KeySequencer::drained, &keys,
                        [] {
                            QueuedWork::settle(Logger::shared(), DebugLogService::shared());
                            QCoreApplication::quit();
                        },
                        Qt::QueuedConnection);
                };
                QObject::connect(simulated, &SimulatedCentral::rideFinished, &app, quitWhenTyped,
                                 Qt::QueuedConnection);
            }
            status = QCoreApplication::exec();
        }
    }
    Telemetry::shutdown();
    return status;
}
