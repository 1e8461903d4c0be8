import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// A filled, tinted push button, optionally with a symbol before its text.
Button {
    id: button
    property string symbol
    property color tint: Theme.accentFill
    property bool small: false
    property int labelWeight: Font.Normal

    topPadding: small ? 4 : 7
    bottomPadding: small ? 4 : 7
    leftPadding: small ? 10 : 14
    rightPadding: small ? 10 : 14
    Accessible.name: text
    Keys.onReturnPressed: button.clicked()
    Keys.onEnterPressed: button.clicked()
    contentItem: RowLayout {
        spacing: 8
        Item { Layout.fillWidth: true }
        SymbolIcon {
            visible: button.symbol.length > 0
            name: button.symbol
            color: "white"
            size: button.small ? 12 : 16
        }
        Label {
            text: button.text
            font.pixelSize: button.small ? Theme.subheadline + 1 : button.font.pixelSize
            font.weight: button.labelWeight
            color: "white"
        }
        Item { Layout.fillWidth: true }
    }
    background: Rectangle {
        implicitHeight: button.small ? 22 : 30
        radius: button.small ? 6 : 8
        opacity: button.enabled ? 1 : 0.5
        color: button.down ? Qt.darker(button.tint, 1.15) : button.hovered ? Qt.darker(button.tint, 1.08) : button.tint
    }
    FocusRing { control: button }
}
