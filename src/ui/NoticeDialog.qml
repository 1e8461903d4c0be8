import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// A message for the user, with a download link when there is one.
Dialog {
    id: notice
    objectName: "messageDialog"
    property string text
    property url link

    anchors.centerIn: parent
    modal: true
    width: Math.min(420, parent.width - 40)
    standardButtons: Dialog.Ok
    ColumnLayout {
        width: parent.width
        spacing: 10
        Label {
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            textFormat: Text.PlainText
            text: notice.text
        }
        Label {
            visible: String(notice.link).length > 0
            Layout.fillWidth: true
            text: "<a href=\"" + notice.link + "\">Download</a>"
            textFormat: Text.StyledText
            onLinkActivated: link => Qt.openUrlExternally(link)
        }
    }
}
