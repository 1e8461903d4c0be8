import QtQuick
import QtQuick.Controls
import Cogwise

ApplicationWindow {
    id: window
    required property CogwiseApp app
    visible: true
    width: 900
    height: 700
    title: "Cogwise"
    color: Theme.window
    Label { text: window.app.version }
}
