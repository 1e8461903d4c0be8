import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// What is known of the connected unit, and the gears.
ScrollView {
    id: section
    objectName: "deviceSection"
    required property DeviceViewModel model
    contentWidth: availableWidth

    ColumnLayout {
        width: section.availableWidth
        spacing: 24

        SectionHeader {
            Layout.fillWidth: true
            Layout.margins: 24
            Layout.bottomMargin: 0
            title: "Device"
            subtitle: "Connected Di2 device information"
        }

        // The unit is away (asleep, dropped, radio off): what Cogwise is doing about it.
        Rectangle {
            objectName: "linkBanner"
            visible: section.model.linkStatus !== ""
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.preferredHeight: linkRow.implicitHeight + 32
            radius: 12
            color: Qt.rgba(0, 0.48, 1, 0.08)
            border.color: Qt.rgba(0, 0.48, 1, 0.3)
            border.width: 1
            RowLayout {
                id: linkRow
                anchors.fill: parent
                anchors.margins: 16
                spacing: 12
                BusyIndicator { running: linkRow.visible; Layout.preferredWidth: 28; Layout.preferredHeight: 28 }
                Label {
                    objectName: "linkStatus"
                    Layout.fillWidth: true
                    text: section.model.linkStatus
                    textFormat: Text.PlainText
                    wrapMode: Text.WordWrap
                    font.pixelSize: Theme.subheadline + 1
                    color: Theme.text
                }
            }
        }

        // Keys cannot be posted: say so, and where to fix it.
        Rectangle {
            objectName: "accessibilityBanner"
            visible: !section.model.canPostKeys
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.preferredHeight: banner.implicitHeight + 40
            radius: 12
            color: Qt.rgba(1, 0.58, 0, 0.1)
            border.color: Qt.rgba(1, 0.58, 0, 0.3)
            border.width: 1
            RowLayout {
                id: banner
                anchors.fill: parent
                anchors.margins: 20
                spacing: 16
                SymbolIcon { name: "exclamationmark.triangle.fill"; color: Theme.orange; size: 22 }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Label { text: "Accessibility Permission Required"; font.pixelSize: Theme.headline; font.bold: true; color: Theme.text }
                    Label {
                        Layout.fillWidth: true
                        text: "Keyboard emulation won't work until you grant accessibility permissions."
                        wrapMode: Text.WordWrap
                        font.pixelSize: Theme.subheadline + 1
                        color: Theme.secondaryText
                    }
                }
                ProminentButton {
                    text: "Navigate to Mapping"
                    onClicked: section.model.requestMapping()
                }
            }
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
                        Layout.alignment: Qt.AlignTop
                        Layout.preferredWidth: 100
                        Layout.preferredHeight: 100
                        sourceSize.width: 200
                        sourceSize.height: 200
                        source: "image://icons/device." + section.model.picture
                    }
                    ColumnLayout {
                        Layout.alignment: Qt.AlignTop
                        spacing: 6
                        Label {
                            objectName: "modelTitle"
                            text: section.model.title
                            textFormat: Text.PlainText
                            font.pixelSize: Theme.title
                            font.bold: true
                            color: Theme.text
                        }
                        Label {
                            text: section.model.manufacturer
                            textFormat: Text.PlainText
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
                    Item { Layout.fillWidth: true }
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
