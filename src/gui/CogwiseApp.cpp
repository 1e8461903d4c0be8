#include "gui/CogwiseApp.h"

#include "app/AppGraph.h"
#include "gui/IconProvider.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QQmlEngine>

CogwiseApp::CogwiseApp(const Services& services, QObject* parent)
    : QObject(parent)
    , m_flow(services.graph.defaults(), services.graph.viewModel(), services.analytics)
    , m_scan(services.graph.viewModel())
    , m_device(services.graph.viewModel(), services.graph.keySink())
    , m_mapping(services.graph.viewModel(), services.graph.keySink(), services.analytics, permissionHelpUrl())
    , m_settings(services.graph.viewModel(), services.graph.defaults(), services.analyticsOptOut)
    , m_logs(services.graph.viewModel())
    , m_debugLog(services.debugLog)
    , m_updates(services.updater, services.analytics)
{}

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
}
