import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// The usage-statistics choice, with what sharing sends: the welcome screen and Settings show the
// same words, so what the rider agrees to is what the client sends.
RowLayout {
    id: choice
    // What the switch shows; a toggle is told by `toggled`, for the owner to keep or not.
    required property bool checked
    signal toggled(bool share)

    spacing: 12

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2
        Label {
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: "Share anonymous usage statistics"
            font.pixelSize: Theme.subheadline + 1
            color: Theme.text
        }
        Label {
            objectName: "usageStatisticsDescription"
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: "Sends events such as a launch, a connection (with your unit's name) or a changed button, each with a random identifier kept for this installation, Cogwise's version, your system, computer model, processor type, screen size, light or dark look, time zone, locale and languages, the date and hour, and how often and how long you use Cogwise."
            font.pixelSize: Theme.caption
            color: Theme.secondaryText
        }
    }
    Switch {
        id: toggle
        objectName: "usageStatisticsSwitch"
        Accessible.name: "Share anonymous usage statistics"
        checked: choice.checked
        onToggled: {
            choice.toggled(checked)
            // The owner's answer decides what shows: it follows `choice.checked` again.
            checked = Qt.binding(() => choice.checked)
        }
        FocusRing { control: toggle }
    }
}
