import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// A card in the tone of its news: a symbol (or a spinner while something is under way), a title,
// a sentence, and an action. The action moves under the sentence when the card is too narrow to
// hold all three in a row.
Rectangle {
    id: card
    property color tone: Theme.orange
    property string symbol
    property bool busy: false
    property string title
    property string text
    property string actionText
    signal actionTriggered

    readonly property bool narrow: width < 560
    implicitHeight: grid.implicitHeight + 2 * grid.anchors.margins
    radius: 12
    color: Theme.tint(tone, 0.1)
    border.color: Theme.tint(tone, 0.35)
    border.width: 1
    Accessible.role: Accessible.AlertMessage
    Accessible.name: title.length > 0 ? title : text

    GridLayout {
        id: grid
        anchors.fill: parent
        anchors.margins: card.busy ? 16 : 20
        columns: card.narrow ? 2 : 3
        columnSpacing: 16
        rowSpacing: 12

        Item {
            Layout.alignment: Qt.AlignTop
            implicitWidth: card.busy ? 28 : 24
            implicitHeight: implicitWidth
            SymbolIcon {
                visible: !card.busy
                anchors.centerIn: parent
                name: card.symbol
                color: card.tone
                size: 24
            }
            BusyIndicator {
                visible: card.busy
                running: card.busy && card.visible
                anchors.fill: parent
                padding: 0
            }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2
            Label {
                objectName: "noticeTitle"
                visible: card.title.length > 0
                Layout.fillWidth: true
                text: card.title
                textFormat: Text.PlainText
                wrapMode: Text.WordWrap
                font.pixelSize: Theme.headline
                font.bold: true
                color: Theme.text
            }
            Label {
                objectName: "noticeText"
                visible: card.text.length > 0
                Layout.fillWidth: true
                text: card.text
                textFormat: Text.PlainText
                wrapMode: Text.WordWrap
                font.pixelSize: Theme.subheadline + 1
                color: card.title.length > 0 ? Theme.secondaryText : Theme.text
            }
        }
        ProminentButton {
            objectName: "noticeAction"
            visible: card.actionText.length > 0
            Layout.row: card.narrow ? 1 : 0
            Layout.column: card.narrow ? 1 : 2
            Layout.alignment: card.narrow ? Qt.AlignLeft : Qt.AlignVCenter
            text: card.actionText
            onClicked: card.actionTriggered()
        }
    }
}
