import QtQuick

// One of the bundled symbols, tinted.
Item {
    id: icon
    property string name
    property color color: Theme.text
    property real size: 16

    implicitWidth: size
    implicitHeight: size

    Image {
        anchors.fill: parent
        fillMode: Image.PreserveAspectFit
        // Drawn at twice the size, so that it stays crisp on dense screens.
        sourceSize.width: Math.ceil(icon.size * 2)
        sourceSize.height: Math.ceil(icon.size * 2)
        smooth: true
        mipmap: true
        source: icon.name.length > 0 ? "image://icons/" + icon.name + "?color=" + String(icon.color).substring(1) : ""
    }
}
