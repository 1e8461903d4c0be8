pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// The event list, newest last.
Item {
    id: section
    objectName: "logsSection"
    required property LogListModel logs

    ColumnLayout {
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.margins: 24
        width: Math.min(parent.width, Theme.readableWidth) - 48
        spacing: 24

        SectionHeader {
            Layout.fillWidth: true
            title: "Event Logs"
            subtitle: "Activity from your Di2 device"
            Label {
                objectName: "eventCount"
                text: section.logs.count + " events"
                font.pixelSize: Theme.subheadline + 1
                color: Theme.secondaryText
            }
            BorderedButton {
                objectName: "clearButton"
                visible: section.logs.count > 0
                symbol: "trash"
                text: "Clear"
                tint: Theme.red
                onClicked: confirmClear.open()
            }
        }

        ColumnLayout {
            objectName: "emptyState"
            visible: section.logs.count === 0
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 40
            spacing: 10
            SymbolIcon { Layout.alignment: Qt.AlignHCenter; name: "list.bullet.rectangle"; color: Theme.tertiaryText; size: 48 }
            Label { Layout.alignment: Qt.AlignHCenter; text: "No events yet"; font.pixelSize: Theme.headline; font.bold: true; color: Theme.secondaryText }
            Label {
                Layout.alignment: Qt.AlignHCenter
                text: "Events from your Di2 device will appear here"
                font.pixelSize: Theme.subheadline + 1
                color: Theme.tertiaryText
            }
        }

        GlassPanel {
            visible: section.logs.count > 0
            Layout.fillWidth: true
            Layout.fillHeight: true
            cornerRadius: 16
            ListView {
                id: list
                objectName: "eventList"
                anchors.fill: parent
                anchors.margins: 20
                clip: true
                model: section.logs
                boundsBehavior: Flickable.StopAtBounds
                Accessible.name: "Events"
                ScrollBar.vertical: ScrollBar { policy: list.contentHeight > list.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff }
                // Follow new events while the reader is at the bottom.
                onCountChanged: if (atYEnd || count < 2) positionViewAtEnd()
                delegate: ColumnLayout {
                    id: entry
                    required property int index
                    required property string time
                    required property string message
                    required property string icon
                    required property string iconColor
                    width: ListView.view.width - 12
                    spacing: 0
                    LogRowView {
                        Layout.fillWidth: true
                        Layout.topMargin: 10
                        Layout.bottomMargin: 10
                        time: entry.time
                        message: entry.message
                        icon: entry.icon
                        iconColor: entry.iconColor
                    }
                    Rectangle {
                        visible: entry.index < list.count - 1
                        Layout.fillWidth: true
                        Layout.leftMargin: 100
                        height: 1
                        color: Theme.divider
                    }
                }
            }
        }
        Item { visible: section.logs.count === 0; Layout.fillHeight: true }
    }

    ConfirmDialog {
        id: confirmClear
        title: "Clear the Event Log?"
        text: "The events shown here will be removed. The debug logs that Export and Share send are kept."
        confirmText: "Clear"
        onConfirmed: section.logs.clear()
    }
}
