import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

RowLayout {
    id: row
    required property string time
    required property string message
    required property string icon
    required property string iconColor

    spacing: 12
    Label {
        Layout.preferredWidth: 80
        Layout.alignment: Qt.AlignTop
        text: row.time
        font.family: Theme.monospace
        font.pixelSize: Theme.caption
        color: Theme.secondaryText
    }
    SymbolIcon {
        Layout.alignment: Qt.AlignTop
        Layout.preferredWidth: 16
        name: row.icon
        color: Theme.named(row.iconColor)
        size: 13
    }
    Label {
        Layout.fillWidth: true
        Layout.alignment: Qt.AlignTop
        text: row.message
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font.family: Theme.monospace
        font.pixelSize: Theme.body
        color: Theme.text
    }
}
