import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// "About Cogwise": the symbol, the name and the version.
Dialog {
    id: dialog
    objectName: "aboutDialog"
    required property string version

    title: "About Cogwise"
    anchors.centerIn: parent
    modal: true
    focus: true
    padding: 24
    standardButtons: Dialog.Ok
    ColumnLayout {
        spacing: 8
        SymbolIcon { Layout.alignment: Qt.AlignHCenter; name: "Icon"; size: 64 }
        Label { Layout.alignment: Qt.AlignHCenter; text: "Cogwise"; font.pixelSize: Theme.title; font.bold: true }
        Label { Layout.alignment: Qt.AlignHCenter; text: "Version " + dialog.version; color: Theme.secondaryText }
        Label { Layout.alignment: Qt.AlignHCenter; text: "Control Rouvy with your Shimano Di2"; color: Theme.secondaryText }
    }
}
