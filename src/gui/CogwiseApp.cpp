#include "gui/CogwiseApp.h"

#include "app/AppGraph.h"
#include "gui/IconProvider.h"
#include "shifting/KeyDestinationSwitch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>
#include <chrono>
#include <cstdio>

namespace {

// scripts/bench times the longest gap between the window's frames while keys are typed, and a
// window at rest draws no frames for a gap to mean anything. So, when COGWISE_FRAME_PROBE is set,
// the window is asked for a frame at about a display's rate, and each frame swapped is written
// on standard error with its time on CLOCK_MONOTONIC, the clock the bench stamps keys with.
constexpr auto probedFrameInterval = std::chrono::milliseconds{16};

void probeFrames(QQuickWindow& window)
{
    auto* ticker = new QTimer(&window);
    ticker->setTimerType(Qt::PreciseTimer);
    QObject::connect(ticker, &QTimer::timeout, &window, &QQuickWindow::update);
    ticker->start(probedFrameInterval);
    // Emitted on the render thread: the time is taken there.
    QObject::connect(
        &window, &QQuickWindow::frameSwapped, &window,
        [] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::fprintf(
                stderr, "frame swapped at %lld ns\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
        },
        Qt::DirectConnection);
}

} // namespace

CogwiseApp::CogwiseApp(const Services& services, QObject* parent)
    : QObject(parent)
    , m_flow(services.graph.defaults(), services.graph.viewModel(), services.analytics)
    , m_scan(services.graph.viewModel(), services.addressOf)
    , m_device(services.graph.viewModel(), services.graph.keySink())
    , m_mapping(services.graph.viewModel(), services.graph.keySink(), services.analytics, permissionHelpUrl(),
                services.graph.keySinkReason())
    , m_settings(services.graph.viewModel(), services.graph.defaults(), services.setupCheck,
                 services.analyticsOptOut, qobject_cast<KeyDestinationSwitch*>(&services.graph.keySink()))
    , m_logs(services.graph.viewModel())
    , m_debugLog(services.debugLog)
    , m_updates(services.updater, services.analytics)
{
    // The welcome screen's choice is kept and applied as the Settings switch's is.
    connect(&m_flow, &ScreenFlow::usageStatisticsChosen, &m_settings,
            &SettingsViewModel::setShareUsageStatistics);
}

QString CogwiseApp::version() const
{
    return QCoreApplication::applicationVersion();
}

QUrl CogwiseApp::permissionHelpUrl()
{
    // Installed: share/doc/cogwise/README.md beside bin/; in a build tree: the source's.
    const QDir binary(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {binary.filePath(QStringLiteral("../share/doc/cogwise/README.md")),
                                     QStringLiteral(COGWISE_SOURCE_README)}) {
        if (QFileInfo::exists(candidate))
            return QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath());
    }
    return {};
}

void CogwiseApp::prepare(QQmlEngine& engine)
{
    // The save dialog is Qt Quick's own on every desktop. The same as FileDialog's
    // DontUseNativeDialog option, which Qt 6.4's type information leaves out of qmllint's sight.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    engine.addImageProvider(QStringLiteral("icons"), new IconProvider);

    auto* application = qobject_cast<QQmlApplicationEngine*>(&engine);
    if (application && qEnvironmentVariableIsSet("COGWISE_FRAME_PROBE")) {
        QObject::connect(application, &QQmlApplicationEngine::objectCreated, application,
                         [](QObject* object, const QUrl&) {
                             if (auto* window = qobject_cast<QQuickWindow*>(object))
                                 probeFrames(*window);
                         });
    }
}
