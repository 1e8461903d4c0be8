import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// A message for the user, with a download link when there is one.
FramedDialog {
    id: notice
    objectName: "messageDialog"
    property string text
    property url link
    // The link was clicked: whoever showed the dialog opens it, and says so when it cannot.
    signal linkChosen(url link)

    modal: true
    padding: 20
    header: Label {
        text: notice.title
        textFormat: Text.PlainText
        elide: Text.ElideRight
        padding: 20
        bottomPadding: 4
        font.pixelSize: Theme.title3
        font.bold: true
        color: Theme.text
    }
    focus: true
    width: Math.min(420, parent.width - 40)
    standardButtons: Dialog.Ok
    ColumnLayout {
        width: parent.width
        spacing: 10
        // Return or Enter is its one button, as in any message box.
        focus: true
        Keys.onReturnPressed: notice.accept()
        Keys.onEnterPressed: notice.accept()
        // Selectable, so that a path it names can be copied.
        TextEdit {
            objectName: "messageText"
            Layout.fillWidth: true
            readOnly: true
            selectByMouse: true
            wrapMode: Text.WordWrap
            textFormat: Text.PlainText
            text: notice.text
            color: Theme.text
            selectionColor: Theme.palette.highlight
            selectedTextColor: Theme.palette.highlightedText
            font.pixelSize: Theme.body
        }
        Label {
            visible: String(notice.link).length > 0
            Layout.fillWidth: true
            text: "<a href=\"" + notice.link + "\">Download</a>"
            textFormat: Text.StyledText
            onLinkActivated: link => notice.linkChosen(link)
        }
    }
}
