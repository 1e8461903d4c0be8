import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

ColumnLayout {
    id: item
    property string label
    property string value
    spacing: 4
    Label {
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        text: item.label
        font.pixelSize: Theme.caption
        color: Theme.secondaryText
    }
    Label {
        id: value
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignHCenter
        text: item.value
        textFormat: Text.PlainText
        font.pixelSize: Theme.body
        font.bold: true
        fontSizeMode: Text.HorizontalFit
        minimumPixelSize: Math.round(Theme.body * 0.8)
        elide: Text.ElideRight
        color: Theme.text
        // Cut short, the whole value shows on hover.
        HoverHandler { id: hover }
        ToolTip.visible: value.truncated && hover.hovered
        ToolTip.text: item.value
    }
}
