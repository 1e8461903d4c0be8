#pragma once

#include "gui/CheckForUpdatesViewModel.h"
#include "gui/DebugLogActions.h"
#include "gui/DeviceViewModel.h"
#include "gui/LogListModel.h"
#include "gui/MappingViewModel.h"
#include "gui/ScanViewModel.h"
#include "gui/ScreenFlow.h"
#include "gui/SettingsViewModel.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

class AppGraph;
class QQmlEngine;

// What the window is given: the screen flow and one view model per screen, all built
// over the application's object graph. Lives as long as the window.
class CogwiseApp : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by main")
    Q_PROPERTY(ScreenFlow* flow READ flow CONSTANT)
    Q_PROPERTY(ScanViewModel* scan READ scan CONSTANT)
    Q_PROPERTY(DeviceViewModel* device READ device CONSTANT)
    Q_PROPERTY(MappingViewModel* mapping READ mapping CONSTANT)
    Q_PROPERTY(SettingsViewModel* settings READ settings CONSTANT)
    Q_PROPERTY(LogListModel* logs READ logs CONSTANT)
    Q_PROPERTY(DebugLogActions* debugLog READ debugLog CONSTANT)
    Q_PROPERTY(CheckForUpdatesViewModel* updates READ updates CONSTANT)
    Q_PROPERTY(QString version READ version CONSTANT)

public:
    struct Services
    {
        AppGraph& graph;
        Analytics& analytics;
        Updater& updater;
        DebugLogService& debugLog;
        SetupCheck& setupCheck;
        SettingsViewModel::OptOut analyticsOptOut;
        // A unit's Bluetooth address, for the scan list; the backend's to say.
        DeviceListModel::AddressOf addressOf;
    };

    explicit CogwiseApp(const Services& services, QObject* parent = nullptr);

    // The page that explains how to let Cogwise post key presses.
    static QUrl permissionHelpUrl();
    // Gives an engine the icons and dialogs the QML expects; call before loading QML. The types
    // come with the module. With COGWISE_FRAME_PROBE set, the window it then loads keeps drawing
    // and logs its frames, for scripts/bench.
    static void prepare(QQmlEngine& engine);
    // A file of the QML module, where qt_add_qml_module in src/ui puts it among the resources.
    static QUrl componentUrl(const QString& name)
    {
        return QUrl(QStringLiteral("qrc:/qt/qml/Cogwise/%1.qml").arg(name));
    }
    static QUrl mainWindowUrl() { return componentUrl(QStringLiteral("Main")); }

    ScreenFlow* flow() { return &m_flow; }
    ScanViewModel* scan() { return &m_scan; }
    DeviceViewModel* device() { return &m_device; }
    MappingViewModel* mapping() { return &m_mapping; }
    SettingsViewModel* settings() { return &m_settings; }
    LogListModel* logs() { return &m_logs; }
    DebugLogActions* debugLog() { return &m_debugLog; }
    CheckForUpdatesViewModel* updates() { return &m_updates; }
    QString version() const;

private:
    ScreenFlow m_flow;
    ScanViewModel m_scan;
    DeviceViewModel m_device;
    MappingViewModel m_mapping;
    SettingsViewModel m_settings;
    LogListModel m_logs;
    DebugLogActions m_debugLog;
    CheckForUpdatesViewModel m_updates;
};
