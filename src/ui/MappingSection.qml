pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// Sending shift keys: the switch, whether keys reach an app, and the four buttons.
ScrollPage {
    id: section
    objectName: "mappingSection"
    required property MappingViewModel model

    // While the page is shown, look again every few seconds whether keys can be posted.
    Component.onCompleted: model.refreshPermission()
    Timer {
        interval: section.model.permissionPollMilliseconds
        repeat: true
        running: true
        onTriggered: section.model.pollPermission()
    }

    // Whether some button presses a key of its own: the rows then keep room for its picker.
    property bool anyKeyAction: false
    function findKeyActions() {
        let any = false
        for (let button = 1; button <= 4; ++button)
            any = any || section.model.hasKey(button)
        section.anyKeyAction = any
    }
    Connections {
        target: section.model
        function onButtonConfigsChanged() { section.findKeyActions() }
    }

    ColumnLayout {
        x: section.columnX
        width: section.columnWidth
        spacing: 24
        Component.onCompleted: section.findKeyActions()

        SectionHeader {
            Layout.fillWidth: true
            Layout.margins: 24
            Layout.bottomMargin: 0
            title: "Button Mapping"
            subtitle: section.model.subtitle
            Switch {
                id: enable
                objectName: "enableSwitch"
                text: "Send shift keys"
                Accessible.name: "Send shift keys"
                checked: section.model.isKeyboardEnabled
                onToggled: section.model.isKeyboardEnabled = checked
                FocusRing { control: enable }
            }
        }

        NoticeCard {
            objectName: "permissionCard"
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            tone: section.model.keysReachApp ? Theme.green : Theme.orange
            symbol: section.model.keysReachApp ? "checkmark.circle.fill" : "exclamationmark.triangle.fill"
            title: section.model.permissionTitle
            text: section.model.permissionText
            actionText: section.model.canAskAgain ? "Ask Again"
                      : !section.model.hasPermission ? "Open Settings"
                      : !section.model.isKeyboardEnabled ? "Send Shift Keys" : ""
            onActionTriggered: {
                if (section.model.canAskAgain)
                    section.model.askAgain()
                else if (!section.model.hasPermission)
                    section.model.openPermissionHelp()
                else
                    section.model.isKeyboardEnabled = true
            }
        }

        // Shown also while the switch is off, so that the buttons can be set before a ride.
        GlassPanel {
            objectName: "buttonPanel"
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
                    Label { Layout.fillWidth: true; text: "Trainer app"; font.pixelSize: Theme.body; color: Theme.text }
                    ComboBox {
                        id: trainerApp
                        objectName: "trainerAppPicker"
                        Accessible.name: "Trainer app"
                        Layout.preferredWidth: 210
                        model: section.model.trainerAppNames
                        currentIndex: section.model.trainerAppIndex
                        onActivated: index => section.model.trainerAppIndex = index
                        FocusRing { control: trainerApp }
                    }
                }
                Label {
                    objectName: "trainerAppWhere"
                    Layout.fillWidth: true
                    wrapMode: Text.WordWrap
                    text: section.model.trainerAppWhere
                    font.pixelSize: Theme.subheadline + 1
                    color: Theme.secondaryText
                }
                Label {
                    objectName: "trainerAppNote"
                    visible: section.model.trainerAppNote.length > 0
                    Layout.fillWidth: true
                    wrapMode: Text.WordWrap
                    text: section.model.trainerAppNote
                    font.pixelSize: Theme.subheadline + 1
                    color: Theme.orange
                }
                Label {
                    objectName: "trainerAppKeys"
                    visible: !section.model.isCustomTrainerApp
                    Layout.fillWidth: true
                    wrapMode: Text.WordWrap
                    text: "Shift Up presses the \u201c" + section.model.shiftUpKeyLabel + "\u201d key, Shift Down the \u201c"
                          + section.model.shiftDownKeyLabel + "\u201d key."
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
                            Layout.fillWidth: true
                            text: customKey.modelData ? "Shift Up key" : "Shift Down key"
                            font.pixelSize: Theme.body
                            color: Theme.text
                        }
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
                    Layout.fillWidth: true
                    spacing: 12
                    Repeater {
                        model: 4
                        ButtonMappingRow {
                            required property int index
                            Layout.fillWidth: true
                            buttonNumber: index + 1
                            model: section.model
                            keyColumn: section.anyKeyAction
                            room: buttons.width
                        }
                    }
                }
            }
        }

        Flow {
            objectName: "mappingActions"
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.bottomMargin: 24
            spacing: 12
            BorderedButton {
                objectName: "resetButton"
                symbol: "arrow.counterclockwise"
                text: "Reset to Defaults"
                onClicked: section.model.resetToDefaults()
            }
            BorderedButton {
                objectName: "disableAllButton"
                symbol: "xmark.circle"
                text: "Disable All"
                tint: Theme.red
                onClicked: confirmDisable.open()
            }
        }
    }

    ConfirmDialog {
        id: confirmDisable
        title: "Disable All Buttons?"
        text: "Every button will do nothing until you choose its action again."
        confirmText: "Disable All"
        onConfirmed: section.model.disableAll()
    }
}
