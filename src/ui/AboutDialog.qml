import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// "About Cogwise": the symbol, the name, the version, the licence and the website.
FramedDialog {
    id: dialog
    objectName: "aboutDialog"
    required property string version
    // The website was clicked: whoever showed the dialog opens it.
    signal linkChosen(url link)

    title: "About Cogwise"
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
        Label {
            objectName: "aboutLicence"
            Layout.alignment: Qt.AlignHCenter
            text: "\u00a9 2026 Cogwise developers. All rights reserved."
            font.pixelSize: Theme.footnote
            color: Theme.secondaryText
        }
        Label {
            objectName: "aboutWebsite"
            Layout.alignment: Qt.AlignHCenter
            text: "<a href=\"https://cogwise.app\">cogwise.app</a>"
            textFormat: Text.StyledText
            onLinkActivated: link => dialog.linkChosen(link)
        }
    }
}
