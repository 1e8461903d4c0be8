import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// Asks before a change that cannot be taken back. Cancel holds the focus, so that a stray Space
// or Return keeps things as they are; Escape cancels too.
FramedDialog {
    id: dialog
    objectName: "confirmDialog"
    property string text
    property string confirmText
    signal confirmed

    parent: Overlay.overlay
    width: Math.min(420, (parent ? parent.width : 420) - 40)
    modal: true
    padding: 20
    header: Label {
        text: dialog.title
        textFormat: Text.PlainText
        elide: Text.ElideRight
        padding: 20
        bottomPadding: 4
        font.pixelSize: Theme.title3
        font.bold: true
        color: Theme.text
    }
    focus: true
    closePolicy: Popup.CloseOnEscape

    ColumnLayout {
        width: parent.width
        Label {
            objectName: "confirmText"
            Layout.fillWidth: true
            text: dialog.text
            textFormat: Text.PlainText
            wrapMode: Text.WordWrap
            color: Theme.text
        }
    }
    footer: RowLayout {
        spacing: 12
        Item { Layout.fillWidth: true }
        BorderedButton {
            id: cancel
            objectName: "confirmCancel"
            Layout.bottomMargin: 16
            text: "Cancel"
            onClicked: dialog.close()
        }
        ProminentButton {
            objectName: "confirmAccept"
            Layout.bottomMargin: 16
            Layout.rightMargin: 20
            tint: Theme.destructiveFill
            text: dialog.confirmText
            onClicked: {
                dialog.close()
                dialog.confirmed()
            }
        }
    }
    onOpened: cancel.forceActiveFocus(Qt.TabFocusReason)
}
