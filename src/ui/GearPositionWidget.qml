pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls

// The virtual gear between drawings of the front and rear derailleur positions.
GlassPanel {
    id: widget
    property int currentVirtualGear: 13
    property int frontGear: 1
    property int rearGear: 1
    property int maxRear: 12
    // The gear's digits, as large as the room allows: they are read from the saddle.
    property int digitSize: 40

    cornerRadius: 20
    implicitHeight: column.implicitHeight + 64
    implicitWidth: column.implicitWidth + 64

    ColumnLayout {
        id: column
        anchors.centerIn: parent
        spacing: 16

        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 32

            ColumnLayout {
                spacing: 8
                Label { Layout.alignment: Qt.AlignHCenter; text: "Front"; font.pixelSize: Theme.caption; color: Theme.secondaryText }
                Item {
                    objectName: "frontDrawing"
                    width: 80
                    height: 80
                    Rectangle {
                        anchors.fill: parent
                        radius: 40
                        color: "transparent"
                        border.color: Qt.rgba(0.56, 0.56, 0.58, 0.3)
                        border.width: 2
                    }
                    Rectangle {
                        objectName: "chainring"
                        anchors.centerIn: parent
                        width: 50
                        height: widget.frontGear === 2 ? 70 : 50
                        radius: 25
                        color: Theme.tint(Theme.blue, 0.5)
                    }
                    Rectangle { anchors.centerIn: parent; width: 22; height: 22; radius: 11; color: Theme.hub }
                    Label {
                        anchors.centerIn: parent
                        text: widget.frontGear
                        font.pixelSize: Theme.caption
                        font.bold: true
                        color: Theme.hubText
                    }
                }
            }

            ColumnLayout {
                spacing: 4
                Label {
                    id: gear
                    objectName: "virtualGear"
                    Layout.alignment: Qt.AlignHCenter
                    text: widget.currentVirtualGear
                    font.pixelSize: widget.digitSize
                    font.bold: true
                    color: Theme.text
                    // The number springs in when the gear changes.
                    transform: Scale {
                        id: bump
                        origin.x: gear.width / 2
                        origin.y: gear.height / 2
                    }
                    onTextChanged: springIn.restart()
                    SequentialAnimation {
                        id: springIn
                        NumberAnimation { target: bump; properties: "xScale,yScale"; to: 1.18; duration: 90 }
                        SpringAnimation { target: bump; properties: "xScale,yScale"; to: 1; spring: 4; damping: 0.8 }
                    }
                }
                Label {
                    Layout.alignment: Qt.AlignHCenter
                    text: "Virtual gear"
                    font.pixelSize: Theme.footnote
                    color: Theme.secondaryText
                }
            }

            ColumnLayout {
                spacing: 8
                Label { Layout.alignment: Qt.AlignHCenter; text: "Rear"; font.pixelSize: Theme.caption; color: Theme.secondaryText }
                Item {
                    objectName: "rearDrawing"
                    width: 80
                    height: 80
                    Repeater {
                        objectName: "cogs"
                        model: Math.max(0, Math.min(widget.maxRear, 12))
                        Rectangle {
                            required property int index
                            property bool engaged: index + 1 === widget.rearGear
                            anchors.centerIn: parent
                            width: 30 + 4 * index
                            height: width
                            radius: width / 2
                            color: "transparent"
                            border.width: engaged ? 3 : 1
                            border.color: engaged ? Theme.blue : Theme.tint(Theme.gray, 0.35)
                        }
                    }
                    Rectangle { anchors.centerIn: parent; width: 22; height: 22; radius: 11; color: Theme.hub }
                    Label {
                        anchors.centerIn: parent
                        text: widget.rearGear
                        font.pixelSize: Theme.caption
                        font.bold: true
                        color: Theme.hubText
                    }
                }
            }
        }

        // "front × rear", painted with a blue-to-cyan gradient.
        Canvas {
            id: ratio
            objectName: "gearRatio"
            property string text: widget.frontGear + " \u00d7 " + widget.rearGear
            readonly property string font: "bold 36px sans-serif"
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: metrics.width + 4
            implicitHeight: 44
            onTextChanged: requestPaint()
            onWidthChanged: requestPaint()
            TextMetrics { id: metrics; font.pixelSize: 36; font.bold: true; text: ratio.text }
            onPaint: {
                const context = getContext("2d")
                context.reset()
                const gradient = context.createLinearGradient(0, 0, width, 0)
                gradient.addColorStop(0, Theme.blue)
                gradient.addColorStop(1, Theme.cyan)
                context.fillStyle = gradient
                context.font = font
                context.textBaseline = "middle"
                context.fillText(text, 2, height / 2)
            }
        }
    }
}
