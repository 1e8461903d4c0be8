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
    Accessible.name: text
    Keys.onReturnPressed: button.clicked()
    Keys.onEnterPressed: button.clicked()
    contentItem: RowLayout {
        spacing: 6
        SymbolIcon {
            visible: button.symbol.length > 0
            name: button.symbol
            color: button.tint
            size: 14
        }
        Label {
            Layout.fillWidth: true
            text: button.text
            color: button.tint
            font.pixelSize: button.labelSize
            elide: Text.ElideRight
        }
    }
    background: Rectangle {
        implicitHeight: 28
        radius: 7
        color: Theme.tint(button.tint, button.down ? 0.22 : button.hovered ? 0.16 : 0.1)
        border.color: Theme.tint(button.tint, 0.35)
        border.width: 1
    }
    FocusRing { control: button }
}
