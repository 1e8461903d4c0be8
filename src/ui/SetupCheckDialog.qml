import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// "Check Setup": one line per check of what riding needs, and for each one that failed,
// what to do. Runs the check each time it opens.
FramedDialog {
    id: dialog
    objectName: "setupCheckDialog"
    required property SetupCheckViewModel check

    title: "Check Setup"
    modal: true
    width: Math.min(640, parent.width - 40)
    height: Math.min(560, parent.height - 40)
    standardButtons: Dialog.Close
    onOpened: dialog.check.run()

    ColumnLayout {
        anchors.fill: parent
        spacing: 10

        RowLayout {
            objectName: "setupCheckProgress"
            visible: dialog.check.running
            spacing: 8
            BusyIndicator { running: dialog.check.running; Layout.preferredWidth: 24; Layout.preferredHeight: 24 }
            Label {
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: "Checking… Cogwise listens a few seconds for your unit."
                color: Theme.secondaryText
            }
        }

        ScrollView {
            id: scroll
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            ColumnLayout {
                objectName: "setupCheckLines"
                width: scroll.availableWidth
                spacing: 8
                Repeater {
                    model: dialog.check
                    delegate: RowLayout {
                        id: line
                        required property bool ok
                        required property bool informational
                        required property string label
                        required property string advice
                        objectName: "setupCheckLine"
                        Layout.fillWidth: true
                        spacing: 8
                        Label {
                            objectName: "setupCheckMark"
                            Layout.alignment: Qt.AlignTop
                            // Information: what another way of typing lacks, nothing wrong now.
                            text: line.ok ? "✓" : line.informational ? "ℹ" : "✗"
                            color: line.ok ? Theme.green : line.informational ? Theme.secondaryText : Theme.red
                            font.bold: true
                        }
                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: 2
                            // Selectable, so that a command in them can be copied.
                            TextEdit {
                                Layout.fillWidth: true
                                readOnly: true
                                selectByMouse: true
                                wrapMode: Text.WordWrap
                                textFormat: Text.PlainText
                                text: line.label
                                color: Theme.text
                                selectionColor: Theme.palette.highlight
                                selectedTextColor: Theme.palette.highlightedText
                                font.pixelSize: Theme.body
                            }
                            TextEdit {
                                objectName: "setupCheckAdvice"
                                visible: !line.ok
                                Layout.fillWidth: true
                                readOnly: true
                                selectByMouse: true
                                wrapMode: Text.WordWrap
                                textFormat: Text.PlainText
                                text: line.advice
                                font.pixelSize: Theme.caption
                                color: Theme.secondaryText
                                selectionColor: Theme.palette.highlight
                                selectedTextColor: Theme.palette.highlightedText
                            }
                        }
                    }
                }
            }
        }

        Label {
            objectName: "setupCheckSummary"
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            textFormat: Text.PlainText
            text: dialog.check.summary
            font.bold: true
            color: Theme.text
        }
        Button {
            objectName: "setupCheckAgain"
            text: "Check Again"
            enabled: !dialog.check.running
            onClicked: dialog.check.run()
        }
    }
}
