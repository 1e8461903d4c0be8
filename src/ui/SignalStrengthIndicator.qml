pragma ComponentBehavior: Bound
import QtQuick

// Four bars, 8 to 20 px high; the lit ones green.
Row {
    id: meter
    property int litBars: 1
    spacing: 2

    Repeater {
        model: 4
        Rectangle {
            required property int index
            objectName: "bar" + (index + 1)
            property bool lit: index + 1 <= meter.litBars
            anchors.verticalCenter: parent.verticalCenter
            width: 4
            height: 4 * (index + 1) + 4
            radius: 1
            color: lit ? Theme.green : Qt.rgba(0.56, 0.56, 0.58, 0.3)
        }
    }
}
