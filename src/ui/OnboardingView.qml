import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// First launch: what Cogwise does and how to put the unit into pairing mode.
Item {
    id: view
    objectName: "onboardingScreen"
    required property ScreenFlow flow
    implicitWidth: 600
    implicitHeight: 650

    ScrollView {
        anchors.fill: parent
        contentWidth: availableWidth

        ColumnLayout {
            width: parent.width
            spacing: 22

            Item { Layout.fillHeight: true; Layout.preferredHeight: 16 }

            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 8
                Item {
                    Layout.alignment: Qt.AlignHCenter
                    width: 88
                    height: 88
                    // The soft blue glow under the symbol.
                    Rectangle {
                        anchors.centerIn: parent
                        width: 84
                        height: 84
                        radius: 42
                        color: Qt.rgba(0, 0.48, 1, 0.12)
                    }
                    SymbolIcon { anchors.centerIn: parent; name: "Icon"; size: 72 }
                }
                Label {
                    Layout.alignment: Qt.AlignHCenter
                    text: "Cogwise"
                    font.pixelSize: 42
                    font.bold: true
                    color: Theme.text
                }
                Label {
                    Layout.alignment: Qt.AlignHCenter
                    text: "Control Rouvy with your Shimano Di2"
                    font.pixelSize: Theme.title3 + 2
                    color: Theme.secondaryText
                }
            }

            ColumnLayout {
                Layout.leftMargin: 48
                Layout.rightMargin: 48
                Layout.fillWidth: true
                spacing: 16
                FeatureRow {
                    Layout.fillWidth: true
                    icon: "keyboard.fill"
                    title: "Keyboard Emulation"
                    description: "Map your Di2 shifter buttons to keyboard shortcuts"
                }
                FeatureRow {
                    Layout.fillWidth: true
                    icon: "arrow.up.arrow.down"
                    title: "Gear Tracking"
                    description: "See your current gear position in real-time"
                }
                FeatureRow {
                    Layout.fillWidth: true
                    icon: "bolt.fill"
                    title: "Rouvy Integration"
                    description: "Shift gears in Rouvy without touching your keyboard"
                }
            }

            GlassPanel {
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: Math.min(500, view.width - 48)
                Layout.preferredHeight: hint.implicitHeight + 48
                cornerRadius: 16
                ColumnLayout {
                    id: hint
                    anchors.fill: parent
                    anchors.margins: 24
                    spacing: 12
                    RowLayout {
                        spacing: 8
                        SymbolIcon { name: "exclamationmark.triangle.fill"; color: Theme.orange; size: 20 }
                        Label { text: "Before you start"; font.pixelSize: Theme.headline; font.bold: true; color: Theme.text }
                    }
                    Label {
                        Layout.fillWidth: true
                        text: "Press and hold the reset button on your Shimano Di2 junction box to enable Bluetooth pairing mode."
                        wrapMode: Text.WordWrap
                        font.pixelSize: Theme.body
                        color: Theme.secondaryText
                    }
                    Di2DeviceIllustration {
                        Layout.alignment: Qt.AlignHCenter
                        Layout.preferredHeight: 80
                    }
                }
            }

            ProminentButton {
                objectName: "startScanningButton"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 280
                topPadding: 14
                bottomPadding: 14
                symbol: "antenna.radiowaves.left.and.right"
                text: "Start Scanning"
                font.pixelSize: Theme.body + 2
                labelWeight: Font.DemiBold
                onClicked: view.flow.startScanning()
            }

            Item { Layout.preferredHeight: 40 }
        }
    }
}
