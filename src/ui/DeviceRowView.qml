import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// One device found by the scan.
RowLayout {
    id: row
    required property string name
    required property string address
    required property int litBars
    required property bool isDi2Device
    signal connectClicked

    spacing: 12
    Rectangle {
        width: 44
        height: 44
        radius: 10
        color: row.isDi2Device ? Theme.tint(Theme.blue, 0.15) : Theme.tint(Theme.gray, 0.12)
        SymbolIcon {
            anchors.centerIn: parent
            name: row.isDi2Device ? "gear" : "dot.radiowaves.left.and.right"
            color: row.isDi2Device ? Theme.blue : Theme.gray
            size: 20
        }
    }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Label {
                text: row.name
                textFormat: Text.PlainText
                elide: Text.ElideRight
                Layout.fillWidth: true
                // Whole pixels: a layout rounds down, and a fraction less elides the name.
                Layout.maximumWidth: Math.ceil(implicitWidth)
                font.pixelSize: Theme.headline
                font.bold: true
                color: Theme.text
            }
            Label {
                visible: row.isDi2Device
                text: "Shimano"
                font.pixelSize: Theme.caption
                font.weight: Font.Medium
                color: Theme.blue
                leftPadding: 6
                rightPadding: 6
                topPadding: 2
                bottomPadding: 2
                background: Rectangle { radius: 5; color: Theme.tint(Theme.blue, 0.1) }
            }
            // Takes the room the name does not need, so that the name has what it needs.
            Item { Layout.fillWidth: true }
        }
        Label {
            objectName: "deviceAddress"
            Layout.fillWidth: true
            elide: Text.ElideRight
            text: row.address
            textFormat: Text.PlainText
            font.pixelSize: Theme.caption
            font.family: Theme.monospace
            color: Theme.secondaryText
        }
    }
    SignalStrengthIndicator { litBars: row.litBars }
    ProminentButton {
        objectName: "connectButton"
        text: "Connect"
        small: true
        Accessible.name: "Connect to " + row.name + " " + row.address
        onClicked: row.connectClicked()
    }
}
