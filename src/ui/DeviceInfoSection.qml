import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// What is known of the connected unit, and the gears.
ScrollPage {
    id: section
    objectName: "deviceSection"
    required property DeviceViewModel model

    ColumnLayout {
        x: section.columnX
        width: section.columnWidth
        spacing: 24

        SectionHeader {
            Layout.fillWidth: true
            Layout.margins: 24
            Layout.bottomMargin: 0
            title: "Device"
            subtitle: "Connected Di2 device information"
        }

        // The unit is away (asleep, dropped, radio off): what Cogwise is doing about it.
        NoticeCard {
            objectName: "linkBanner"
            visible: section.model.linkStatus !== ""
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            tone: Theme.blue
            busy: true
            text: section.model.linkStatus
        }

        // Keys cannot be posted: say so, why, and where to fix it.
        NoticeCard {
            objectName: "accessibilityBanner"
            visible: !section.model.canPostKeys
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            tone: Theme.orange
            symbol: "exclamationmark.triangle.fill"
            title: "Cogwise cannot type keys"
            text: section.model.keyProblem
            actionText: "Navigate to Mapping"
            onActionTriggered: section.model.requestMapping()
        }

        // Keys could be typed but are not sent: the rider's first ride would shift nothing.
        NoticeCard {
            objectName: "shiftKeysOffBanner"
            visible: section.model.shiftKeysOff
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            tone: Theme.orange
            symbol: "exclamationmark.triangle.fill"
            title: "Shift keys are off"
            text: "Your shifts reach no app until Cogwise sends shift keys."
            actionText: "Send Shift Keys"
            onActionTriggered: section.model.sendShiftKeys()
        }

        // Keys go to a device paired over Bluetooth: which one takes them.
        NoticeCard {
            objectName: "destinationBanner"
            visible: section.model.keyDestination !== ""
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            tone: Theme.green
            symbol: "checkmark.circle.fill"
            title: "Keys go to a device paired over Bluetooth"
            text: section.model.keyDestination
        }

        GlassPanel {
            objectName: "deviceCard"
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.preferredHeight: card.implicitHeight
            cornerRadius: 20

            ColumnLayout {
                id: card
                anchors.left: parent.left
                anchors.right: parent.right
                spacing: 0

                RowLayout {
                    Layout.fillWidth: true
                    Layout.margins: 20
                    spacing: 20
                    Image {
                        objectName: "devicePicture"
                        readonly property int side: card.width < 420 ? 64 : 100
                        Layout.alignment: Qt.AlignTop
                        Layout.preferredWidth: side
                        Layout.preferredHeight: side
                        sourceSize.width: 200
                        sourceSize.height: 200
                        source: "image://icons/device." + section.model.picture
                    }
                    ColumnLayout {
                        Layout.alignment: Qt.AlignTop
                        Layout.fillWidth: true
                        spacing: 6
                        Label {
                            objectName: "modelTitle"
                            Layout.fillWidth: true
                            text: section.model.title
                            textFormat: Text.PlainText
                            elide: Text.ElideRight
                            font.pixelSize: Theme.title
                            font.bold: true
                            color: Theme.text
                        }
                        Label {
                            Layout.fillWidth: true
                            text: section.model.manufacturer
                            textFormat: Text.PlainText
                            elide: Text.ElideRight
                            font.pixelSize: Theme.subheadline + 1
                            color: Theme.secondaryText
                        }
                        RowLayout {
                            spacing: 6
                            SymbolIcon { name: section.model.batteryIcon; color: Theme.named(section.model.batteryColor); size: 20 }
                            Label {
                                objectName: "batteryText"
                                text: section.model.batteryLevel + " %"
                                font.pixelSize: Theme.body
                                color: Theme.named(section.model.batteryColor)
                            }
                        }
                    }
                    BorderedButton {
                        objectName: "disconnectButton"
                        Layout.alignment: Qt.AlignTop
                        text: "Disconnect"
                        tint: Theme.red
                        labelSize: Theme.subheadline + 1
                        onClicked: section.model.disconnectDevice()
                    }
                }
                Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
                RowLayout {
                    Layout.fillWidth: true
                    Layout.leftMargin: 20
                    Layout.rightMargin: 20
                    Layout.topMargin: 16
                    Layout.bottomMargin: 16
                    spacing: 0
                    StatItem { Layout.fillWidth: true; Layout.preferredWidth: 1; label: "Serial"; value: section.model.serialNumber }
                    Rectangle { width: 1; height: 40; color: Theme.divider }
                    StatItem { Layout.fillWidth: true; Layout.preferredWidth: 1; label: "Firmware"; value: section.model.firmwareRevision }
                }
            }
        }

        GearPositionWidget {
            objectName: "gearWidget"
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.bottomMargin: latency.visible ? 0 : 24
            // From 40 px in a narrow window to 160 px on a wide one.
            digitSize: Math.max(40, Math.min(Math.round(section.availableWidth * 0.12), 160))
            currentVirtualGear: section.model.currentVirtualGear
            frontGear: section.model.frontGear
            rearGear: section.model.rearGear
            maxRear: section.model.maxRear
        }

        // From the unit's press reaching Cogwise to its key handed to the system.
        Label {
            id: latency
            objectName: "shiftLatency"
            visible: section.model.shiftLatency !== ""
            Layout.leftMargin: 24
            Layout.bottomMargin: 24
            text: section.model.shiftLatency
            font.pixelSize: Theme.subheadline + 1
            font.family: Theme.monospace
            color: Theme.secondaryText
        }
    }
}
