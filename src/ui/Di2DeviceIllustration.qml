import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// Decoration of the pairing hint: the junction box and where its reset button is.
RowLayout {
    spacing: 16
    ColumnLayout {
        spacing: 6
        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            width: 60
            height: 40
            radius: 8
            border.color: Qt.rgba(0.56, 0.56, 0.58, 0.5)
            border.width: 1
            gradient: Gradient {
                GradientStop { position: 0; color: Qt.rgba(0.56, 0.56, 0.58, 0.3) }
                GradientStop { position: 1; color: Qt.rgba(0.56, 0.56, 0.58, 0.5) }
            }
            Rectangle {
                width: 8
                height: 8
                radius: 4
                color: Theme.red
                x: (parent.width - width) / 2 + 20
                y: (parent.height - height) / 2 - 10
            }
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: "Junction Box"
            font.pixelSize: Theme.caption
            color: Theme.secondaryText
        }
    }
    SymbolIcon { name: "arrow.left"; color: Theme.secondaryText; size: 14; Layout.alignment: Qt.AlignVCenter }
    ColumnLayout {
        spacing: 6
        Item {
            Layout.alignment: Qt.AlignHCenter
            width: 40
            height: 40
            Rectangle { anchors.fill: parent; radius: 20; color: Qt.rgba(1, 0.58, 0, 0.2) }
            Rectangle { anchors.centerIn: parent; width: 32; height: 32; radius: 16; color: "transparent"; border.color: Theme.orange; border.width: 2 }
            Rectangle { anchors.centerIn: parent; width: 16; height: 16; radius: 8; color: Theme.orange }
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: "Reset Button"
            font.pixelSize: Theme.caption2
            font.weight: Font.Medium
            color: Theme.orange
        }
    }
}
