import QtQuick
import QtQuick.Controls

// A dialog whose edge shows in both schemes: a line that stands out 3:1 from the window, which is
// dimmed behind it. Centred on whole pixels, so that the line stays sharp.
Dialog {
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? Math.round((parent.height - height) / 2) : 0
    background: Rectangle {
        color: Theme.window
        border.color: Theme.dialogEdge
        border.width: 1
        radius: 4
    }
    Overlay.modal: Rectangle {
        color: Qt.rgba(0, 0, 0, Theme.dark ? 0.45 : 0.15)
    }
}
