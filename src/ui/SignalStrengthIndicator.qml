pragma ComponentBehavior: Bound
import QtQuick

// Four bars, 8 to 20 px high; the lit ones green.
Row {
    id: meter
    property int litBars: 1
    spacing: 2
    height: 20

    Repeater {
        model: 4
        Rectangle {
            required property int index
            objectName: "bar" + (index + 1)
            property bool lit: index + 1 <= meter.litBars
            y: (meter.height - height) / 2
            width: 4
            height: 4 * (index + 1) + 4
            radius: 1
            color: lit ? Theme.green : Theme.tint(Theme.gray, 0.45)
        }
    }
}
