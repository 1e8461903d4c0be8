import QtQuick
import QtQuick.Controls
import Cogwise

// The window's root: one of four screens, as the screen flow says.
Item {
    id: root
    required property CogwiseApp app

    Loader {
        anchors.fill: parent
        sourceComponent: {
            switch (root.app.flow.screen) {
            case "onboarding": return onboarding
            case "scanning": return scanning
            case "connected": return connected
            default: return loading
            }
        }
    }

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
    Component {
        id: onboarding
        OnboardingView { flow: root.app.flow }
    }
    Component {
        id: scanning
        DeviceScanView { scan: root.app.scan }
    }
    Component {
        id: connected
        MainView { app: root.app }
    }
}
