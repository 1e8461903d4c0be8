pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// Where keys go: this computer, or a device paired with Cogwise's Bluetooth keyboard, with
// that keyboard's devices, pairing and adapter.
ColumnLayout {
    id: destination
    objectName: "keyDestinationSettings"
    required property KeyDestinationViewModel model
    spacing: 8

    function askToForget(path: string, name: string) {
        confirmForget.hostPath = path
        confirmForget.text = "Cogwise forgets " + name
                + ". To send it keys again, remove Cogwise in that device's Bluetooth settings and pair again."
        confirmForget.open()
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        Label {
            Layout.fillWidth: true
            text: "Send keys to"
            font.pixelSize: Theme.subheadline + 1
            color: Theme.text
        }
        ComboBox {
            id: picker
            objectName: "keyDestinationPicker"
            Accessible.name: "Send keys to"
            Layout.preferredWidth: 300
            model: destination.model.destinationNames
            currentIndex: destination.model.destinationIndex
            onActivated: index => destination.model.destinationIndex = index
            FocusRing { control: picker }
        }
    }

    ColumnLayout {
        objectName: "pairedDevicesBlock"
        visible: destination.model.toDevice
        Layout.fillWidth: true
        spacing: 8

        Label {
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: "The device's keyboard layout decides which character each key types."
            font.pixelSize: Theme.caption
            color: Theme.secondaryText
        }
        Label {
            objectName: "keyboardStatus"
            visible: text.length > 0
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: destination.model.status
            textFormat: Text.PlainText
            font.pixelSize: Theme.body
            color: Theme.text
        }
        Repeater {
            model: destination.model.hosts
            delegate: RowLayout {
                id: host
                required property var modelData
                objectName: "pairedDevice"
                Layout.fillWidth: true
                spacing: 12
                Label {
                    Layout.fillWidth: true
                    elide: Text.ElideRight
                    text: host.modelData.name
                    textFormat: Text.PlainText
                    font.pixelSize: Theme.body
                    color: Theme.text
                }
                Label {
                    visible: host.modelData.connected
                    text: "Connected"
                    font.pixelSize: Theme.caption
                    color: Theme.green
                }
                BorderedButton {
                    objectName: "forgetButton"
                    text: "Forget"
                    tint: Theme.red
                    onClicked: destination.askToForget(host.modelData.path, host.modelData.name)
                }
            }
        }
        RowLayout {
            spacing: 12
            BorderedButton {
                objectName: "pairButton"
                text: destination.model.pairingOpen ? "Stop Pairing" : "Pair a Device…"
                onClicked: destination.model.pairingOpen ? destination.model.stopPairing() : destination.model.pair()
            }
            Label {
                objectName: "pairingCountdown"
                visible: destination.model.pairingOpen
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: "Choose \u201cCogwise\u201d in the device's Bluetooth settings within "
                      + destination.model.pairingSecondsLeft + " s."
                font.pixelSize: Theme.caption
                color: Theme.secondaryText
            }
        }
        RowLayout {
            visible: destination.model.adapters.length > 1
            Layout.fillWidth: true
            spacing: 12
            Label {
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                text: "Bluetooth adapter for the keyboard"
                font.pixelSize: Theme.body
                color: Theme.text
            }
            ComboBox {
                id: adapterPicker
                objectName: "keyboardAdapterPicker"
                Accessible.name: "Bluetooth adapter for the keyboard"
                model: destination.model.adapters
                currentIndex: destination.model.adapterIndex
                onActivated: index => destination.model.adapterIndex = index
                FocusRing { control: adapterPicker }
            }
        }
    }

    ConfirmDialog {
        id: confirmForget
        property string hostPath
        title: "Forget This Device?"
        confirmText: "Forget"
        onConfirmed: destination.model.forget(hostPath)
    }
}
