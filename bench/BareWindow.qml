import QtQuick
import QtQuick.Controls

ApplicationWindow {
    visible: true
    width: 900
    height: 780
    title: "Bare"

    Label {
        anchors.centerIn: parent
        text: "Bare window"
    }
}
