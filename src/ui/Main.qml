import QtQuick
import QtQuick.Layouts
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
            title: "Cogwise"
            Action {
                text: "About Cogwise"
                onTriggered: about.open()
            }
            Action {
                objectName: "checkForUpdates"
                text: "Check for Updates\u2026"
                enabled: window.app.updates.canCheckForUpdates
                onTriggered: window.app.updates.checkForUpdates()
            }
            MenuSeparator {}
            Action {
                text: "Quit Cogwise"
                // StandardKey.Quit on every Linux desktop; qmllint of Qt 6.4 cannot resolve StandardKey.
                shortcut: "Ctrl+Q"
                onTriggered: Qt.quit()
            }
        }
    }

    ContentView {
        anchors.fill: parent
        app: window.app
    }

    Dialog {
        id: about
        title: "About Cogwise"
        anchors.centerIn: parent
        modal: true
        standardButtons: Dialog.Ok
        ColumnLayout {
            spacing: 8
            SymbolIcon { Layout.alignment: Qt.AlignHCenter; name: "Icon"; size: 64 }
            Label { Layout.alignment: Qt.AlignHCenter; text: "Cogwise"; font.pixelSize: Theme.title; font.bold: true }
            Label { Layout.alignment: Qt.AlignHCenter; text: "Version " + window.app.version; color: Theme.secondaryText }
            Label { Layout.alignment: Qt.AlignHCenter; text: "Control Rouvy with your Shimano Di2"; color: Theme.secondaryText }
        }
    }

    Dialog {
        id: message
        objectName: "messageDialog"
        property string text
        property url link
        anchors.centerIn: parent
        modal: true
        width: Math.min(420, window.width - 40)
        standardButtons: Dialog.Ok
        ColumnLayout {
            width: parent.width
            spacing: 10
            Label {
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                textFormat: Text.PlainText
                text: message.text
            }
            Label {
                visible: String(message.link).length > 0
                Layout.fillWidth: true
                text: "<a href=\"" + message.link + "\">Download</a>"
                textFormat: Text.StyledText
                onLinkActivated: link => Qt.openUrlExternally(link)
            }
        }
    }

    Connections {
        target: window.app.updates
        function onResultReady(title, text, downloadUrl) {
            message.title = title
            message.text = text
            message.link = downloadUrl
            message.open()
        }
    }
    Connections {
        target: window.app.debugLog
        function onFailed(text) {
            message.title = "Debug Logs"
            message.text = text
            message.link = ""
            message.open()
        }
    }
}
