import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

ScrollPage {
    id: section
    objectName: "settingsSection"
    required property SettingsViewModel model
    required property Action checkSetup

    // The page starts from what is stored each time it opens.
    Component.onCompleted: model.reload()

    ColumnLayout {
        x: section.columnX
        width: section.columnWidth
        spacing: 12

        SectionHeader {
            Layout.fillWidth: true
            Layout.margins: 24
            Layout.bottomMargin: 12
            title: "Settings"
            subtitle: "Configure Cogwise preferences"
        }

        Label {
            Layout.leftMargin: 24
            text: "Virtual Gear"
            font.pixelSize: Theme.headline
            font.bold: true
            color: Theme.text
        }
        GlassPanel {
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.preferredHeight: gearCard.implicitHeight + 40
            cornerRadius: 12
            ColumnLayout {
                id: gearCard
                anchors.fill: parent
                anchors.margins: 20
                spacing: 10
                RowLayout {
                    spacing: 12
                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 2
                        Label { text: "Initial Virtual Gear"; font.pixelSize: Theme.subheadline + 1; color: Theme.text }
                        Label {
                            Layout.fillWidth: true
                            wrapMode: Text.WordWrap
                            text: "Set the starting virtual gear position when the app launches or device connects."
                            font.pixelSize: Theme.caption
                            color: Theme.secondaryText
                        }
                    }
                    ComboBox {
                        id: initialGear
                        objectName: "initialGearPicker"
                        Accessible.name: "Initial Gear"
                        Layout.preferredWidth: 100
                        model: 27
                        displayText: section.model.selectedGear
                        currentIndex: section.model.selectedGear - 1
                        delegate: ItemDelegate {
                            required property int index
                            width: ListView.view.width
                            text: index + 1
                            highlighted: ListView.isCurrentItem
                        }
                        onActivated: index => section.model.selectedGear = index + 1
                        FocusRing { control: initialGear }
                    }
                }
                Label {
                    objectName: "selectedGearText"
                    text: "Selected: " + section.model.selectedGear
                    font.pixelSize: Theme.body
                    font.family: Theme.monospace
                    color: Theme.secondaryText
                }
            }
        }

        Label {
            Layout.leftMargin: 24
            Layout.topMargin: 12
            text: "Keys"
            font.pixelSize: Theme.headline
            font.bold: true
            color: Theme.text
        }
        GlassPanel {
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.preferredHeight: keysCard.implicitHeight + 40
            cornerRadius: 12
            GridLayout {
                id: keysCard
                anchors.fill: parent
                anchors.margins: 20
                columns: 2
                columnSpacing: 12
                rowSpacing: 12
                KeyDestinationSettings {
                    visible: section.model.keyDestination.available
                    Layout.fillWidth: true
                    Layout.columnSpan: 2
                    model: section.model.keyDestination
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Label { text: "Hold each key"; font.pixelSize: Theme.subheadline + 1; color: Theme.text }
                    Label {
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        text: "Milliseconds between key down and key up. Some trainer apps miss keys that are not held."
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                }
                SpinBox {
                    id: keyHold
                    objectName: "keyHoldSpinBox"
                    Accessible.name: "Hold each key, milliseconds"
                    from: 0
                    to: 200
                    stepSize: 10
                    editable: true
                    value: section.model.keyHold
                    onValueModified: section.model.keyHold = value
                    FocusRing { control: keyHold }
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Label { text: "Pause between repeats"; font.pixelSize: Theme.subheadline + 1; color: Theme.text }
                    Label {
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        text: "Milliseconds between the presses of a button mapped to several shifts."
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                }
                SpinBox {
                    id: keyPause
                    objectName: "keyPauseSpinBox"
                    Accessible.name: "Pause between repeats, milliseconds"
                    from: 20
                    to: 500
                    stepSize: 10
                    editable: true
                    value: section.model.keyPause
                    onValueModified: section.model.keyPause = value
                    FocusRing { control: keyPause }
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.columnSpan: 2
                    spacing: 2
                    Label { text: "Keyboard layout"; font.pixelSize: Theme.subheadline + 1; color: Theme.text }
                    Label {
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        text: "On a layout other than US English, the key that types \".\" may sit elsewhere: choose whether Cogwise presses the key for the character or the key at the US place."
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                    Label {
                        objectName: "keyMatchingProblem"
                        visible: section.model.keyMatchingProblem.length > 0
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        text: section.model.keyMatchingProblem
                        textFormat: Text.PlainText
                        font.pixelSize: Theme.caption
                        color: Theme.red
                    }
                }
                // Under its explanation, as wide as its choices need and the card allows.
                ComboBox {
                    id: keyMatching
                    objectName: "keyMatchingPicker"
                    Accessible.name: "Keyboard layout"
                    Layout.columnSpan: 2
                    Layout.fillWidth: true
                    Layout.maximumWidth: 360
                    model: section.model.keyMatchingNames
                    currentIndex: section.model.keyMatchingIndex
                    onActivated: index => section.model.keyMatchingIndex = index
                    FocusRing { control: keyMatching }
                }
            }
        }

        Label {
            Layout.leftMargin: 24
            Layout.topMargin: 12
            text: "Setup"
            font.pixelSize: Theme.headline
            font.bold: true
            color: Theme.text
        }
        GlassPanel {
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.preferredHeight: setup.implicitHeight + 40
            cornerRadius: 12
            RowLayout {
                id: setup
                anchors.fill: parent
                anchors.margins: 20
                spacing: 12
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Label { text: "Check Setup"; font.pixelSize: Theme.subheadline + 1; color: Theme.text }
                    Label {
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        text: "When shifting does not reach the trainer app: checks Bluetooth, how keys are typed and the keyboard layout, and says what to do."
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                }
                BorderedButton {
                    objectName: "checkSetupButton"
                    text: "Check Setup\u2026"
                    onClicked: section.checkSetup.trigger()
                }
            }
        }

        Label {
            Layout.leftMargin: 24
            Layout.topMargin: 12
            text: "Privacy"
            font.pixelSize: Theme.headline
            font.bold: true
            color: Theme.text
        }
        GlassPanel {
            Layout.fillWidth: true
            Layout.leftMargin: 24
            Layout.rightMargin: 24
            Layout.bottomMargin: 24
            Layout.preferredHeight: privacy.implicitHeight + 40
            cornerRadius: 12
            UsageStatisticsSwitch {
                id: privacy
                anchors.fill: parent
                anchors.margins: 20
                checked: section.model.shareUsageStatistics
                onToggled: share => section.model.shareUsageStatistics = share
            }
        }
    }
}
