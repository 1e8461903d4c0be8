import QtQuick
import QtQuick.Controls

// Shows a key by its name; clicked (or Space or Return), takes the next key pressed in the
// window. Escape or leaving it keeps the key it had.
Button {
    id: picker
    property string keyLabel
    property bool capturing: false
    // Why the last key pressed cannot be sent; set by whoever takes the key.
    property string problem
    signal picked(int qtKey)

    implicitWidth: 130
    // Armed, it looks pressed for a key, not idle.
    highlighted: capturing
    text: capturing ? "Press a key…" : (keyLabel.length > 0 ? keyLabel : "Pick a key…")
    ToolTip.visible: problem.length > 0
    ToolTip.text: problem
    Accessible.description: capturing ? "Press the key to send" : ""
    onClicked: {
        problem = ""
        capturing = true
        forceActiveFocus()
    }
    onActiveFocusChanged: if (!activeFocus) capturing = false
    Keys.onPressed: event => {
        if (!picker.capturing) {
            if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                event.accepted = true
                picker.clicked()
            }
            return
        }
        event.accepted = true
        if (event.key === Qt.Key_Escape) {
            picker.capturing = false
            return
        }
        // Modifiers alone are not keys to send: wait for the key they go with.
        if (event.key === Qt.Key_Shift || event.key === Qt.Key_Control || event.key === Qt.Key_Alt || event.key === Qt.Key_Meta)
            return
        // Cogwise sends one key per shift: Ctrl+A would otherwise be taken as A without a word.
        if (event.modifiers & (Qt.ControlModifier | Qt.AltModifier | Qt.MetaModifier)) {
            picker.problem = "Cogwise sends single keys, without Ctrl, Alt or Super: press the key alone."
            return
        }
        picker.capturing = false
        // The keypad's "+" is another key than the main row's.
        picker.picked(event.key | (event.modifiers & Qt.KeypadModifier))
    }
    FocusRing { control: picker }
}
