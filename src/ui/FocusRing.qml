import QtQuick
import QtQuick.Templates as T

// The ring around a control that has the keyboard focus from Tab, the arrows or a shortcut (a
// click gives no ring), or around a text field while it takes typing. A child of what it rings.
Rectangle {
    objectName: "focusRing"
    // The control it rings; a text field, which is no Control, is rung as `field` instead.
    property T.Control control
    property T.TextField field
    property real gap: 3

    anchors.fill: parent
    anchors.margins: -gap
    z: 100
    visible: control ? control.visualFocus : field ? field.activeFocus : false
    color: "transparent"
    radius: 8
    border.width: 2
    border.color: Theme.focus
}
