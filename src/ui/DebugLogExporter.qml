import QtQuick
import QtQuick.Dialogs
import QtCore
import Cogwise

// "Export": writes the debug log, then asks where to keep a copy.
Item {
    id: exporter
    required property DebugLogActions actions

    function begin() {
        const file = String(exporter.actions.prepareSave())
        if (file.length === 0)
            return
        dialog.currentFolder = StandardPaths.writableLocation(StandardPaths.DocumentsLocation)
        const name = file.substring(file.lastIndexOf("/") + 1)
        dialog.selectedFile = dialog.currentFolder + "/" + name
        dialog.open()
    }

    FileDialog {
        id: dialog
        objectName: "saveDialog"
        title: "Save Debug Logs"
        fileMode: FileDialog.SaveFile
        nameFilters: ["Plain text (*.txt)"]
        defaultSuffix: "txt"
        onAccepted: exporter.actions.completeSave(selectedFile)
    }
}
