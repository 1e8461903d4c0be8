import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// Title, optional subtitle, and whatever the section puts at the right end. The words wrap
// rather than push the right end out of a narrow window.
RowLayout {
    id: header
    property string title
    property string subtitle
    default property alias trailingContent: trailing.data

    spacing: 12
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 4
        Label {
            objectName: "pageTitle"
            Layout.fillWidth: true
            text: header.title
            wrapMode: Text.WordWrap
            font.pixelSize: Theme.title2 + 3
            font.bold: true
            color: Theme.text
        }
        Label {
            visible: header.subtitle.length > 0
            Layout.fillWidth: true
            text: header.subtitle
            wrapMode: Text.WordWrap
            font.pixelSize: Theme.subheadline + 1
            color: Theme.secondaryText
        }
    }
    RowLayout {
        id: trailing
        spacing: 12
    }
}
