import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import QtQuick.Dialogs
import Cogwise

// "Export": writes the debug log, then asks where to keep a copy: a name, and a folder that
// starts as the documents folder.
Item {
    id: exporter
    required property DebugLogActions actions

    function begin() {
        const file = String(exporter.actions.prepareSave())
        if (file.length === 0)
            return
        dialog.folder = exporter.actions.saveFolder()
        name.text = decodeURIComponent(file.substring(file.lastIndexOf("/") + 1))
        dialog.open()
    }
    function save(replacing: bool) {
        const destination = exporter.actions.saveDestination(dialog.folder, name.text)
        if (String(destination).length === 0)
            return
        if (!replacing && exporter.actions.exists(destination)) {
            confirmReplace.destination = destination
            confirmReplace.open()
            return
        }
        // Copied before the dialog closes, since closing discards the exported file.
        exporter.actions.completeSave(destination)
        dialog.close()
    }

    Connections {
        target: exporter.actions
        function onSaved(file: string) {
            savedNotice.file = file
            savedNotice.open()
        }
    }

    FramedDialog {
        id: dialog
        objectName: "saveDialog"
        property url folder
        readonly property bool nameIsValid: String(exporter.actions.saveDestination(dialog.folder, name.text)).length > 0

        title: "Save Debug Logs"
        parent: Overlay.overlay
        width: Math.min(520, (parent ? parent.width : 520) - 40)
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
        // Saved or cancelled, the report in the temporary folder goes.
        onClosed: exporter.actions.discardSave()
        onOpened: {
            name.forceActiveFocus(Qt.TabFocusReason)
            name.select(0, name.text.lastIndexOf(".") > 0 ? name.text.lastIndexOf(".") : name.text.length)
        }

        ColumnLayout {
            width: parent.width
            spacing: 14
            Label {
                objectName: "saveMessage"
                Layout.fillWidth: true
                text: "Choose a location to save the debug logs"
                wrapMode: Text.WordWrap
                color: Theme.text
            }
            GridLayout {
                Layout.fillWidth: true
                columns: 2
                columnSpacing: 12
                rowSpacing: 10
                Label { text: "Name"; color: Theme.secondaryText }
                TextField {
                    id: name
                    objectName: "saveName"
                    Layout.fillWidth: true
                    Accessible.name: "Name"
                    selectByMouse: true
                    onAccepted: exporter.save(false)
                    FocusRing { field: name }
                }
                Label { text: "Folder"; color: Theme.secondaryText }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 8
                    Label {
                        objectName: "saveFolder"
                        Layout.fillWidth: true
                        text: exporter.actions.displayPath(dialog.folder)
                        textFormat: Text.PlainText
                        elide: Text.ElideMiddle
                        color: Theme.text
                    }
                    BorderedButton {
                        objectName: "chooseFolder"
                        text: "Choose\u2026"
                        Accessible.name: "Choose a folder"
                        onClicked: folders.open()
                    }
                }
            }
        }
        footer: RowLayout {
            spacing: 12
            Item { Layout.fillWidth: true }
            BorderedButton {
                objectName: "saveCancel"
                Layout.bottomMargin: 16
                text: "Cancel"
                onClicked: dialog.close()
            }
            ProminentButton {
                objectName: "saveAccept"
                Layout.bottomMargin: 16
                Layout.rightMargin: 20
                enabled: dialog.nameIsValid
                text: "Save"
                onClicked: exporter.save(false)
            }
        }
    }

    FolderDialog {
        id: folders
        title: "Choose a Folder for the Debug Logs"
        currentFolder: dialog.folder
        onAccepted: dialog.folder = selectedFolder
    }

    ConfirmDialog {
        id: confirmReplace
        property url destination
        title: "Replace the File?"
        text: "\u201c" + exporter.actions.displayPath(destination) + "\u201d already exists. Replacing it overwrites what it holds."
        confirmText: "Replace"
        onConfirmed: exporter.save(true)
    }

    FramedDialog {
        id: savedNotice
        objectName: "savedNotice"
        property string file
        title: "Debug Logs Saved"
        parent: Overlay.overlay
        width: Math.min(460, (parent ? parent.width : 460) - 40)
        modal: true
        padding: 20
        header: Label {
            text: savedNotice.title
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
        // Selectable, so that the path can be copied.
        TextEdit {
            objectName: "savedText"
            width: parent.width
            readOnly: true
            selectByMouse: true
            wrapMode: Text.WordWrap
            textFormat: Text.PlainText
            text: "The debug logs were saved to \u201c" + savedNotice.file + "\u201d."
            color: Theme.text
            selectionColor: Theme.palette.highlight
            selectedTextColor: Theme.palette.highlightedText
            font.pixelSize: Theme.body
        }
        footer: RowLayout {
            spacing: 12
            Item { Layout.fillWidth: true }
            BorderedButton {
                objectName: "savedShowInFolder"
                Layout.bottomMargin: 16
                text: "Show in Folder"
                onClicked: {
                    savedNotice.close()
                    exporter.actions.showSavedInFolder()
                }
            }
            ProminentButton {
                id: savedDone
                objectName: "savedDone"
                Layout.bottomMargin: 16
                Layout.rightMargin: 20
                text: "Done"
                onClicked: savedNotice.close()
            }
        }
        onOpened: savedDone.forceActiveFocus(Qt.TabFocusReason)
    }
}
