import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// Shows a key by its name; clicked, takes the next key pressed in the window. Escape or
// leaving it keeps the key it had.
ColumnLayout {
    id: picker
    property string keyLabel
    property bool capturing: false
    // Why the last key pressed cannot be sent; set by whoever takes the key.
    property string problem
    signal picked(int qtKey)

    spacing: 2
    Button {
        id: button
        Layout.preferredWidth: 130
        text: picker.capturing ? "Press a key…" : (picker.keyLabel.length > 0 ? picker.keyLabel : "Pick a key…")
        Accessible.name: picker.Accessible.name
        onClicked: {
            picker.problem = ""
            picker.capturing = true
            button.forceActiveFocus()
        }
        onActiveFocusChanged: if (!activeFocus) picker.capturing = false
        Keys.onPressed: event => {
            if (!picker.capturing)
                return
            event.accepted = true
            if (event.key === Qt.Key_Escape) {
                picker.capturing = false
                return
            }
            // Modifiers alone are not keys to send: wait for the key they go with.
            if (event.key === Qt.Key_Shift || event.key === Qt.Key_Control || event.key === Qt.Key_Alt || event.key === Qt.Key_Meta)
                return
            picker.capturing = false
            picker.picked(event.key)
        }
    }
    Label {
        visible: picker.problem.length > 0
        Layout.maximumWidth: 260
        wrapMode: Text.WordWrap
        text: picker.problem
        textFormat: Text.PlainText
        font.pixelSize: Theme.caption
        color: Theme.red
    }
}
