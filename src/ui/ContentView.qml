import QtQuick
import QtQuick.Controls
import Cogwise

// The window's root: one of four screens, as the screen flow says. A screen's QML is loaded
// when it is first shown, so that start-up builds the loading screen only.
Item {
    id: root
    required property CogwiseApp app
    // The window's own, so that every screen opens the same dialogs as its menu.
    required property Action checkSetup
    required property Action exportLog

    function showScreen() {
        switch (root.app.flow.appState) {
        case ScreenFlow.AppState.onboarding:
            screen.setSource(Qt.resolvedUrl("OnboardingView.qml"), { flow: root.app.flow })
            break
        case ScreenFlow.AppState.scanning:
            screen.setSource(Qt.resolvedUrl("DeviceScanView.qml"),
                             { scan: root.app.scan, logs: root.app.logs, debugLog: root.app.debugLog,
                               checkSetup: root.checkSetup, exportLog: root.exportLog })
            break
        case ScreenFlow.AppState.connected:
            screen.setSource(Qt.resolvedUrl("MainView.qml"),
                             { app: root.app, checkSetup: root.checkSetup, exportLog: root.exportLog })
            break
        default:
            screen.sourceComponent = loading
        }
    }

    Loader {
        id: screen
        anchors.fill: parent
    }
    Connections {
        target: root.app.flow
        function onAppStateChanged() { root.showScreen() }
    }
    Component.onCompleted: showScreen()

    Component {
        id: loading
        Item {
            objectName: "loadingScreen"
            BusyIndicator {
                anchors.centerIn: parent
                running: true
                scale: 1.5
            }
        }
    }
}
