import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// First launch: what Cogwise does, how to put the unit into pairing mode, and whether to share
// usage statistics.
Item {
    id: view
    objectName: "onboardingScreen"
    required property ScreenFlow flow
    implicitWidth: 600
    implicitHeight: 650

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        ScrollPage {
            id: page
            Layout.fillWidth: true
            Layout.fillHeight: true

            // One column of a readable width, in the middle of the window however wide it is.
            ColumnLayout {
                x: (page.availableWidth - width) / 2
                y: Math.max(0, (page.availableHeight - height) / 2)
                width: Math.min(page.availableWidth - 48, 520)
                spacing: 22

                Item { Layout.preferredHeight: 8 }

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
                            color: Theme.tint(Theme.blue, 0.12)
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
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
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
                    Layout.fillWidth: true
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

                Item { Layout.preferredHeight: 8 }
            }
        }

        // The way on stays in sight whatever the window's height, and with it the choice it keeps:
        // nothing is sent before the rider goes on.
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        UsageStatisticsSwitch {
            Layout.alignment: Qt.AlignHCenter
            Layout.fillWidth: false
            Layout.preferredWidth: Math.min(view.width - 48, 520)
            Layout.topMargin: 14
            checked: view.flow.shareUsageStatistics
            onToggled: share => view.flow.shareUsageStatistics = share
        }
        ProminentButton {
            objectName: "startScanningButton"
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: Math.min(280, view.width - 48)
            Layout.topMargin: 14
            Layout.bottomMargin: 16
            topPadding: 14
            bottomPadding: 14
            symbol: "antenna.radiowaves.left.and.right"
            text: "Start Scanning"
            font.pixelSize: Theme.body + 2
            labelWeight: Font.DemiBold
            onClicked: view.flow.startScanning()
        }
    }
}
