import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Cogwise

ApplicationWindow {
    id: window
    required property CogwiseApp app

    visible: true
    // The first size leaves room for the frame and the desktop's panels on any screen at any
    // scale: at 200 % a 1080p screen has 960 × 540 to offer.
    width: Math.min(900, Math.floor(Screen.desktopAvailableWidth * 0.9))
    height: Math.min(780, Math.floor(Screen.desktopAvailableHeight * 0.9))
    minimumWidth: window.app.flow.appState === ScreenFlow.AppState.onboarding ? 600
                : window.app.flow.appState === ScreenFlow.AppState.scanning ? 500 : 640
    // Every screen scrolls what does not fit, and keeps its way on in sight.
    minimumHeight: 440
    title: "Cogwise"
    color: Theme.window

    // The controls, menus and dialogs of Qt's style take their colours from the window's palette,
    // not from the application's: handed on here, they follow the light or dark scheme with the
    // rest of the window.
    palette.window: Theme.palette.window
    palette.windowText: Theme.palette.windowText
    palette.base: Theme.palette.base
    palette.alternateBase: Theme.palette.alternateBase
    palette.text: Theme.palette.text
    palette.button: Theme.palette.button
    palette.buttonText: Theme.palette.buttonText
    palette.brightText: Theme.palette.windowText
    palette.light: Theme.palette.light
    palette.midlight: Theme.palette.midlight
    palette.mid: Theme.palette.mid
    palette.dark: Theme.palette.dark
    palette.shadow: Theme.palette.shadow
    palette.highlight: Theme.palette.highlight
    palette.highlightedText: Theme.palette.highlightedText
    palette.placeholderText: Theme.palette.placeholderText
    palette.toolTipBase: Theme.palette.base
    palette.toolTipText: Theme.palette.text
    palette.link: Theme.blue
    palette.disabled.windowText: Theme.disabledPalette.windowText
    palette.disabled.text: Theme.disabledPalette.text
    palette.disabled.buttonText: Theme.disabledPalette.buttonText

    menuBar: MenuBar {
        Menu {
            id: appMenu
            objectName: "appMenu"
            // Alt+C opens it from the keyboard.
            title: "&Cogwise"
            // Each entry with its shortcut beside it, as the desktop's own menus show them.
            delegate: MenuItem {
                id: entry
                contentItem: RowLayout {
                    spacing: 24
                    Label {
                        Layout.fillWidth: true
                        text: entry.text
                        color: !entry.enabled ? Theme.disabledPalette.text
                             : entry.highlighted ? Theme.palette.highlightedText : Theme.text
                    }
                    Label {
                        objectName: "menuShortcut"
                        visible: text.length > 0
                        text: entry.action && entry.action.shortcut ? String(entry.action.shortcut) : ""
                        color: entry.highlighted ? Theme.palette.highlightedText : Theme.secondaryText
                    }
                }
            }
            // Its entries are built when it first opens, not at start-up; the actions, and with
            // them the shortcut, are there from the start.
            onAboutToShow: {
                if (appMenu.count > 0)
                    return
                appMenu.addAction(aboutAction)
                appMenu.addAction(updatesAction)
                appMenu.addItem(separator.createObject(appMenu.contentItem) as MenuSeparator)
                appMenu.addAction(checkSetupAction)
                appMenu.addAction(exportLogAction)
                appMenu.addItem(separator.createObject(appMenu.contentItem) as MenuSeparator)
                appMenu.addAction(quitAction)
            }
        }
    }
    Action {
        id: aboutAction
        objectName: "about"
        text: "About Cogwise"
        onTriggered: window.showAbout()
    }
    Action {
        id: updatesAction
        objectName: "checkForUpdates"
        text: "Check for Updates\u2026"
        enabled: window.app.updates.canCheckForUpdates
        onTriggered: window.app.updates.checkForUpdates()
    }
    // On every screen, connected or not: a rider whose unit will not connect needs these most.
    Action {
        id: checkSetupAction
        objectName: "checkSetup"
        text: "Check Setup\u2026"
        onTriggered: window.showSetupCheck()
    }
    Action {
        id: exportLogAction
        objectName: "exportDebugLog"
        text: "Export Debug Log\u2026"
        onTriggered: window.exportDebugLog()
    }
    Action {
        id: quitAction
        text: "Quit Cogwise"
        // StandardKey.Quit on every Linux desktop; qmllint of Qt 6.4 cannot resolve StandardKey.
        shortcut: "Ctrl+Q"
        onTriggered: Qt.quit()
    }
    Component {
        id: separator
        MenuSeparator {}
    }

    ContentView {
        anchors.fill: parent
        app: window.app
        checkSetup: checkSetupAction
        exportLog: exportLogAction
    }

    // The dialogs are built when first shown, not at start-up. Their parent is the one they
    // would have as children of the window: its content item.
    Loader { id: about }
    Loader { id: message }
    Loader { id: setupCheck }
    Loader { id: exporter }

    function showAbout() {
        if (!about.item)
        {
            about.setSource(Qt.resolvedUrl("AboutDialog.qml"),
                            { parent: window.contentItem, version: window.app.version })
            const created = about.item as AboutDialog
            created.linkChosen.connect(page => {
                if (!Qt.openUrlExternally(page))
                    window.showMessage("Could Not Open the Website",
                                       "No web browser could open " + page + ". Open it in a browser yourself.", "")
            })
        }
        const dialog = about.item as AboutDialog
        dialog.open()
    }
    function showSetupCheck() {
        if (!setupCheck.item)
            setupCheck.setSource(Qt.resolvedUrl("SetupCheckDialog.qml"),
                                 { parent: window.contentItem, check: window.app.settings.setupCheck })
        const dialog = setupCheck.item as SetupCheckDialog
        dialog.open()
    }
    function exportDebugLog() {
        if (!exporter.item)
            exporter.setSource(Qt.resolvedUrl("DebugLogExporter.qml"), { actions: window.app.debugLog })
        const created = exporter.item as DebugLogExporter
        created.begin()
    }
    function showMessage(title: string, text: string, link: url) {
        if (!message.item) {
            message.setSource(Qt.resolvedUrl("NoticeDialog.qml"), { parent: window.contentItem })
            const created = message.item as NoticeDialog
            created.linkChosen.connect(page => window.app.updates.openDownload(page))
        }
        const dialog = message.item as NoticeDialog
        dialog.title = title
        dialog.text = text
        dialog.link = link
        dialog.open()
    }

    Connections {
        target: window.app.updates
        function onResultReady(title, text, downloadUrl) { window.showMessage(title, text, downloadUrl) }
    }
    Connections {
        target: window.app.debugLog
        function onFailed(text) { window.showMessage("Debug Logs", text, "") }
    }
    Connections {
        target: window.app.mapping
        function onFailed(text) { window.showMessage("Letting Cogwise Type Keys", text, "") }
    }
}
