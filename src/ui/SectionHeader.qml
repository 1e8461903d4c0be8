import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// Title, optional subtitle, and whatever the section puts at the right end.
RowLayout {
    id: header
    property string title
    property string subtitle
    default property alias trailingContent: trailing.data

    spacing: 12
    ColumnLayout {
        spacing: 4
        Label {
            text: header.title
            font.pixelSize: Theme.title2 + 3
            font.bold: true
            color: Theme.text
        }
        Label {
            visible: header.subtitle.length > 0
            text: header.subtitle
            font.pixelSize: Theme.subheadline + 1
            color: Theme.secondaryText
        }
    }
    Item { Layout.fillWidth: true }
    RowLayout {
        id: trailing
        spacing: 12
    }
}
