import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// One Di2 button: its action, the key a "Key" action presses and how many presses a press
// makes. The controls keep their places from row to row, and go under the button's name
// when the row is too narrow for one line.
GridLayout {
    id: row
    required property int buttonNumber
    required property MappingViewModel model
    // Whether any row shows a key picker: then every row keeps room for one.
    property bool keyColumn: false
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

    // The name and the controls on one line when there is room, else the controls under the
    // name: the action and the presses, then the key.
    readonly property real indent: 56
    // The width the row may take: its own follows its columns, so the holder says.
    property real room: width
    readonly property bool oneLine: room >= name.implicitWidth + action.Layout.preferredWidth
                                    + stepperSlot.Layout.preferredWidth
                                    + (keyColumn ? keySlot.Layout.preferredWidth + columnSpacing : 0)
                                    + 2 * columnSpacing
    columns: oneLine ? 4 : 2
    columnSpacing: 12
    rowSpacing: 8

    RowLayout {
        id: name
        Layout.row: 0
        Layout.column: 0
        Layout.columnSpan: row.oneLine ? 1 : 2
        Layout.fillWidth: true
        spacing: 12
        Rectangle {
            width: 44
            height: 44
            radius: 22
            color: Theme.tint(Theme.blue, 0.12)
            Label {
                anchors.centerIn: parent
                text: row.buttonNumber
                font.pixelSize: Theme.headline
                font.bold: true
                color: Theme.blue
            }
        }
        Label {
            Layout.fillWidth: true
            text: "Button " + row.buttonNumber
            font.pixelSize: Theme.body
            color: Theme.text
        }
    }
    ComboBox {
        id: action
        objectName: "actionPicker" + row.buttonNumber
        Layout.row: row.oneLine ? 0 : 1
        Layout.column: row.oneLine ? 1 : 0
        Layout.leftMargin: row.oneLine ? 0 : row.indent
        Layout.preferredWidth: 150
        Accessible.name: "Action for button " + row.buttonNumber
        model: row.model.actionNames
        currentIndex: row.actionIndex
        onActivated: index => row.model.setAction(row.buttonNumber, index)
        FocusRing { control: action }
    }
    // The stepper's place stays when the action has no repeat, so that the controls of every
    // row line up.
    Item {
        id: stepperSlot
        Layout.row: row.oneLine ? 0 : 1
        Layout.column: row.oneLine ? 2 : 1
        Layout.preferredWidth: 110
        Layout.preferredHeight: stepper.implicitHeight
        SpinBox {
            id: stepper
            objectName: "repeatStepper" + row.buttonNumber
            visible: row.hasRepeat
            anchors.fill: parent
            Accessible.name: "Presses for button " + row.buttonNumber
            from: 1
            to: 10
            value: row.repeatCount
            editable: true
            textFromValue: (value, locale) => value + "\u00d7"
            valueFromText: (text, locale) => parseInt(text)
            validator: RegularExpressionValidator { regularExpression: /^(10|[1-9])×?$/ }
            onValueModified: row.model.setRepeatCount(row.buttonNumber, value)
            FocusRing { control: stepper }
        }
    }
    Item {
        id: keySlot
        visible: row.keyColumn && (row.oneLine || row.hasKey)
        Layout.row: row.oneLine ? 0 : 2
        Layout.column: row.oneLine ? 3 : 0
        Layout.leftMargin: row.oneLine ? 0 : row.indent
        Layout.preferredWidth: 130
        Layout.preferredHeight: picker.implicitHeight
        KeyPicker {
            id: picker
            objectName: "keyPicker" + row.buttonNumber
            visible: row.hasKey
            anchors.fill: parent
            Accessible.name: "Key for button " + row.buttonNumber
            keyLabel: row.keyLabel
            onPicked: qtKey => problem = row.model.pickButtonKey(row.buttonNumber, qtKey)
        }
    }
}
