import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// The quieter push button: a light fill in the tint, label in the tint.
Button {
    id: button
    property string symbol
    property color tint: Theme.text
    property int labelSize: Theme.body

    topPadding: 5
    bottomPadding: 5
    leftPadding: 12
    rightPadding: 12
    contentItem: RowLayout {
        spacing: 6
        SymbolIcon {
            visible: button.symbol.length > 0
            name: button.symbol
            color: button.tint
            size: 14
        }
        Label { text: button.text; color: button.tint; font.pixelSize: button.labelSize }
    }
    background: Rectangle {
        implicitHeight: 28
        radius: 7
        color: Qt.rgba(button.tint.r, button.tint.g, button.tint.b, button.down ? 0.22 : button.hovered ? 0.16 : 0.1)
        border.color: Qt.rgba(button.tint.r, button.tint.g, button.tint.b, 0.25)
        border.width: 1
    }
}
