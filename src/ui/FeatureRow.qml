import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

RowLayout {
    id: row
    property string icon
    property color iconColor: Theme.orange
    property string title
    property string description

    spacing: 12
    Item {
        Layout.preferredWidth: 32
        Layout.preferredHeight: 32
        SymbolIcon { anchors.centerIn: parent; name: row.icon; color: row.iconColor; size: 22 }
    }
    ColumnLayout {
        spacing: 4
        Layout.fillWidth: true
        Label { text: row.title; font.pixelSize: Theme.headline; font.bold: true; color: Theme.text }
        Label {
            text: row.description
            font.pixelSize: Theme.subheadline + 1
            color: Theme.secondaryText
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
        }
    }
}
