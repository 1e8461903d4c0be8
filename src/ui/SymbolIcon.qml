import QtQuick

// One of the bundled symbols, tinted.
Image {
    id: icon
    property string name
    property color color: Theme.text
    property real size: 16

    width: size
    height: size
    fillMode: Image.PreserveAspectFit
    sourceSize: Qt.size(Math.ceil(size * 2), Math.ceil(size * 2))
    smooth: true
    mipmap: true
    source: name.length > 0 ? "image://icons/" + name + "?color=" + String(color).substring(1) : ""
}
