import QtQuick

// The translucent rounded panel behind cards: a thin veil over the window with a hairline
// edge and a soft shadow.
Item {
    id: panel
    property real cornerRadius: 16
    default property alias content: body.data

    Rectangle {
        anchors.fill: parent
        anchors.topMargin: 2
        radius: panel.cornerRadius
        color: Theme.dark ? Qt.rgba(0, 0, 0, 0.35) : Qt.rgba(0, 0, 0, 0.06)
    }
    Rectangle {
        id: body
        anchors.fill: parent
        radius: panel.cornerRadius
        gradient: Gradient {
            GradientStop { position: 0; color: Theme.panel }
            GradientStop { position: 1; color: Qt.darker(Theme.panel, Theme.dark ? 1.0 : 1.02) }
        }
        border.color: Theme.panelBorder
        border.width: 1
    }
}
