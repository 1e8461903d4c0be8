pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// Keyboard emulation: the switch, whether keys can be posted, and the four buttons.
ScrollView {
    id: section
    objectName: "mappingSection"
    required property MappingViewModel model
    contentWidth: availableWidth

    // While the page is shown, look again every few seconds whether keys can be posted.
    Component.onCompleted: model.refreshPermission()
    Timer {
        interval: section.model.permissionPollMilliseconds
        repeat: true
        running: true
        onTriggered: section.model.pollPermission()
    }

    ColumnLayout {
        width: section.availableWidth
        spacing: 24

        SectionHeader {
            Layout.fillWidth: true
            Layout.margins: 24
            Layout.bottomMargin: 0
            title: "Button Mapping"
            subtitle: section.model.subtitle
            Switch {
                objectName: "enableSwitch"
                Accessible.name: "Enable"
                checked: section.model.isKeyboardEnabled
                onToggled: section.model.isKeyboardEnabled = checked
            }
        }

        Rectangle {
            id: permissionCard
            objectName: "permissionCard"
            readonly property color tone: section.model.hasPermission ? Theme.green : Theme.orange
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.preferredHeight: permission.implicitHeight + 40
            radius: 12
            color: Qt.rgba(tone.r, tone.g, tone.b, 0.1)
            border.color: Qt.rgba(tone.r, tone.g, tone.b, 0.3)
            border.width: 1
            RowLayout {
                id: permission
                anchors.fill: parent
                anchors.margins: 20
                spacing: 16
                SymbolIcon {
                    name: section.model.hasPermission ? "checkmark.circle.fill" : "exclamationmark.triangle.fill"
                    color: permissionCard.tone
                    size: 24
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Label {
                        text: section.model.hasPermission ? "Accessibility Permission Granted" : "Accessibility Permission Required"
                        font.pixelSize: Theme.headline
                        font.bold: true
                        color: Theme.text
                    }
                    Label {
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        text: section.model.hasPermission ? "Cogwise can simulate keyboard presses" : "Grant permission to enable keyboard simulation"
                        font.pixelSize: Theme.subheadline + 1
                        color: Theme.secondaryText
                    }
                }
                ProminentButton {
                    visible: !section.model.hasPermission
                    text: "Open Settings"
                    onClicked: section.model.openPermissionHelp()
                }
            }
        }

        GlassPanel {
            objectName: "buttonPanel"
            visible: section.model.isKeyboardEnabled
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.preferredHeight: buttons.implicitHeight + 40
            cornerRadius: 20
            ColumnLayout {
                id: buttons
                anchors.fill: parent
                anchors.margins: 20
                spacing: 16
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 12
                    Label { text: "Trainer app"; font.pixelSize: Theme.body; color: Theme.text }
                    Item { Layout.fillWidth: true }
                    ComboBox {
                        objectName: "trainerAppPicker"
                        Accessible.name: "Trainer app"
                        Layout.preferredWidth: 170
                        model: section.model.trainerAppNames
                        currentIndex: section.model.trainerAppIndex
                        onActivated: index => section.model.trainerAppIndex = index
                    }
                }
                Label {
                    objectName: "trainerAppKeys"
                    visible: !section.model.isCustomTrainerApp
                    text: "Shift Up presses " + section.model.shiftUpKeyLabel + ", Shift Down presses " + section.model.shiftDownKeyLabel + "."
                    font.pixelSize: Theme.subheadline + 1
                    color: Theme.secondaryText
                }
                Repeater {
                    model: section.model.isCustomTrainerApp ? [true, false] : []
                    RowLayout {
                        id: customKey
                        required property bool modelData
                        Layout.fillWidth: true
                        spacing: 12
                        Label {
                            text: customKey.modelData ? "Shift Up key" : "Shift Down key"
                            font.pixelSize: Theme.body
                            color: Theme.text
                        }
                        Item { Layout.fillWidth: true }
                        KeyPicker {
                            objectName: customKey.modelData ? "shiftUpKeyPicker" : "shiftDownKeyPicker"
                            Accessible.name: customKey.modelData ? "Shift Up key" : "Shift Down key"
                            keyLabel: customKey.modelData ? section.model.shiftUpKeyLabel : section.model.shiftDownKeyLabel
                            onPicked: qtKey => problem = section.model.pickShiftKey(customKey.modelData, qtKey)
                        }
                    }
                }
                Label { text: "Button Actions"; font.pixelSize: Theme.headline; font.bold: true; color: Theme.text }
                ColumnLayout {
                    spacing: 12
                    Repeater {
                        model: 4
                        ButtonMappingRow {
                            required property int index
                            Layout.fillWidth: true
                            buttonNumber: index + 1
                            model: section.model
                        }
                    }
                }
            }
        }

        RowLayout {
            objectName: "mappingActions"
            visible: section.model.isKeyboardEnabled
            Layout.leftMargin: 24
            Layout.bottomMargin: 24
            spacing: 12
            BorderedButton {
                symbol: "arrow.counterclockwise"
                text: "Reset to Defaults"
                onClicked: section.model.resetToDefaults()
            }
            BorderedButton {
                symbol: "xmark.circle"
                text: "Disable All"
                tint: Theme.red
                onClicked: section.model.disableAll()
            }
        }
    }
}
