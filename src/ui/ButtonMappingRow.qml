import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// One Di2 button: its action and how many key presses a press makes.
RowLayout {
    id: row
    required property int buttonNumber
    required property MappingViewModel model
    // Read again when the configuration changes anywhere (reset, disable all).
    property int actionIndex
    property int repeatCount
    property bool hasRepeat
    property bool hasKey
    property string keyLabel

    function reload() {
        row.actionIndex = row.model.actionIndex(row.buttonNumber)
        row.repeatCount = row.model.repeatCount(row.buttonNumber)
        row.hasRepeat = row.model.hasRepeat(row.buttonNumber)
        row.hasKey = row.model.hasKey(row.buttonNumber)
        row.keyLabel = row.model.keyLabel(row.buttonNumber)
    }
    Component.onCompleted: reload()
    Connections {
        target: row.model
        function onButtonConfigsChanged() { row.reload() }
    }

    spacing: 12
    Rectangle {
        width: 44
        height: 44
        radius: 22
        color: Qt.rgba(0, 0.48, 1, 0.1)
        Label {
            anchors.centerIn: parent
            text: row.buttonNumber
            font.pixelSize: Theme.headline
            font.bold: true
            color: Theme.blue
        }
    }
    Label { text: "Button " + row.buttonNumber; font.pixelSize: Theme.body; color: Theme.text }
    Item { Layout.fillWidth: true }
    ComboBox {
        objectName: "actionPicker" + row.buttonNumber
        Accessible.name: "Action"
        Layout.preferredWidth: 170
        model: row.model.actionNames
        currentIndex: row.actionIndex
        onActivated: index => row.model.setAction(row.buttonNumber, index)
    }
    KeyPicker {
        objectName: "keyPicker" + row.buttonNumber
        visible: row.hasKey
        Accessible.name: "Key for button " + row.buttonNumber
        keyLabel: row.keyLabel
        onPicked: qtKey => problem = row.model.pickButtonKey(row.buttonNumber, qtKey)
    }
    RowLayout {
        visible: row.hasRepeat
        spacing: 6
        Label {
            objectName: "repeatLabel" + row.buttonNumber
            Layout.preferredWidth: 30
            horizontalAlignment: Text.AlignRight
            text: row.repeatCount + "\u00d7"
            font.pixelSize: Theme.body
            font.family: Theme.monospace
            color: Theme.text
        }
        SpinBox {
            objectName: "repeatStepper" + row.buttonNumber
            from: 1
            to: 10
            value: row.repeatCount
            editable: false
            Layout.preferredWidth: 96
            onValueModified: row.model.setRepeatCount(row.buttonNumber, value)
        }
    }
}
