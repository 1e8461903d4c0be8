import QtQuick
import QtQuick.Controls
import Cogwise

ApplicationWindow {
    id: window
    required property CogwiseApp app

    visible: true
    width: 900
    height: 780
    minimumWidth: window.app.flow.appState === ScreenFlow.AppState.onboarding ? 600
                : window.app.flow.appState === ScreenFlow.AppState.scanning ? 500 : 640
    minimumHeight: window.app.flow.appState === ScreenFlow.AppState.onboarding ? 650 : 500
    title: "Cogwise"
    color: Theme.window

    menuBar: MenuBar {
        Menu {
            id: appMenu
            objectName: "appMenu"
            title: "Cogwise"
            // Its entries are built when it first opens, not at start-up; the actions, and
            // with them the shortcut, are there from the start.
            onAboutToShow: {
                if (appMenu.count > 0)
                    return
                appMenu.addAction(aboutAction)
                appMenu.addAction(updatesAction)
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
    }

    // The dialogs are built when first shown, not at start-up. Their parent is the one they
    // would have as children of the window: its content item.
    Loader { id: about }
    Loader { id: message }

    function showAbout() {
        if (!about.item)
            about.setSource(Qt.resolvedUrl("AboutDialog.qml"),
                            { parent: window.contentItem, version: window.app.version })
        const dialog = about.item as AboutDialog
        dialog.open()
    }
    function showMessage(title: string, text: string, link: url) {
        if (!message.item)
            message.setSource(Qt.resolvedUrl("NoticeDialog.qml"), { parent: window.contentItem })
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
}
