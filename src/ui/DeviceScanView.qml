pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// Finding the unit: one panel per connection state, and the devices found. Under them, the help
// that a rider whose unit will not connect needs: the setup check and the event log.
Item {
    id: view
    objectName: "scanScreen"
    required property ScanViewModel scan
    required property LogListModel logs
    required property DebugLogActions debugLog
    required property Action checkSetup
    required property Action exportLog
    readonly property bool waiting: scan.panel === "scanning" || scan.panel === "connecting"
                                    || scan.panel === "readyToScan" || scan.panel === "waiting"
    // The event log in place of the scan; the scan goes on underneath.
    property bool showingLogs: false
    implicitWidth: 500
    implicitHeight: 500

    // The focus moves to the button that leads back; with the reason the switch had, so that a
    // keyboard user sees where it went.
    function showLogs(shown: bool, from: Control) {
        if (shown && !logsPage.item)
            logsPage.setSource(Qt.resolvedUrl("LogsSection.qml"), { logs: view.logs })
        view.showingLogs = shown
        const to = shown ? back : logsButton
        to.forceActiveFocus(from.visualFocus ? Qt.TabFocusReason : Qt.OtherFocusReason)
    }

    ScrollPage {
        id: page
        visible: !view.showingLogs
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: help.top

        ColumnLayout {
            x: 32
            width: page.availableWidth - 64
            spacing: 24

            ColumnLayout {
                Layout.alignment: Qt.AlignHCenter
                Layout.maximumWidth: page.availableWidth - 64
                Layout.topMargin: 40
                spacing: 8
                SymbolIcon {
                    Layout.alignment: Qt.AlignHCenter
                    name: "antenna.radiowaves.left.and.right"
                    color: Theme.blue
                    size: 48
                }
                Label {
                    Layout.alignment: Qt.AlignHCenter
                    text: "Find Your Device"
                    font.pixelSize: Theme.largeTitle
                    font.bold: true
                    color: Theme.text
                }
                Label {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: page.availableWidth - 64
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: "Make sure your Shimano Di2 device is in pairing mode"
                    font.pixelSize: Theme.body
                    color: Theme.secondaryText
                }
            }

            GlassPanel {
                id: panel
                objectName: "statePanel"
                visible: view.scan.panel !== "connected"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: view.scan.panel === "found" ? Math.min(450, page.availableWidth - 64)
                                                                  : Math.min(420, page.availableWidth - 64)
                Layout.preferredHeight: stack.implicitHeight + 2 * padding
                cornerRadius: 16
                property int padding: view.scan.panel === "found" ? 24
                                      : (view.scan.panel === "scanning" || view.scan.panel === "connecting") ? 48 : 32

                ColumnLayout {
                    id: stack
                    anchors.fill: parent
                    anchors.margins: panel.padding
                    spacing: 16

                    // Bluetooth off, not allowed or not ready.
                    SymbolIcon {
                        visible: view.scan.panel === "bluetoothRequired"
                        Layout.alignment: Qt.AlignHCenter
                        name: "bluetooth.slash"; color: Theme.orange; size: 48
                    }
                    Label {
                        visible: view.scan.panel === "bluetoothRequired"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Bluetooth Required"; font.pixelSize: Theme.title2; font.bold: true; color: Theme.text
                    }
                    Label {
                        visible: view.scan.panel === "bluetoothRequired"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Please enable Bluetooth to scan for devices."; color: Theme.secondaryText
                    }
                    ProminentButton {
                        objectName: "enableBluetoothButton"
                        visible: view.scan.panel === "bluetoothRequired"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Enable Bluetooth"
                        onClicked: view.scan.scanAgain()
                    }

                    // Waiting: scanning, connecting, or about to scan.
                    BusyIndicator {
                        visible: view.waiting
                        running: visible
                        Layout.alignment: Qt.AlignHCenter
                        scale: 1.5
                    }
                    Label {
                        visible: view.waiting
                        Layout.alignment: Qt.AlignHCenter
                        textFormat: Text.PlainText
                        text: view.scan.panel === "scanning" ? "Scanning for devices\u2026"
                            : view.scan.panel === "connecting" ? "Connecting to " + view.scan.connectingName + "\u2026"
                            : view.scan.panel === "waiting" ? "Waiting for " + view.scan.connectingName + "\u2026"
                            : "Ready to scan\u2026"
                        font.pixelSize: Theme.headline
                        font.bold: true
                        color: view.scan.panel === "connecting" || view.scan.panel === "waiting" ? Theme.text
                                                                                               : Theme.secondaryText
                    }
                    // Waiting for the rider's unit to wake: it connects by itself when it does.
                    Label {
                        objectName: "wakeHint"
                        visible: view.scan.panel === "waiting"
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: 340
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.WordWrap
                        textFormat: Text.PlainText
                        text: "Press a shifter button to wake " + view.scan.connectingName
                              + ". Cogwise connects as soon as it hears it."
                        color: Theme.secondaryText
                    }
                    BorderedButton {
                        visible: view.scan.panel === "waiting"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Scan for Other Units"
                        onClicked: view.scan.scanAgain()
                    }

                    // The connection failed.
                    SymbolIcon {
                        visible: view.scan.panel === "failed"
                        Layout.alignment: Qt.AlignHCenter
                        name: "xmark.circle"; color: Theme.red; size: 48
                    }
                    Label {
                        visible: view.scan.panel === "failed"
                        Layout.alignment: Qt.AlignHCenter
                        objectName: "failureTitle"
                        text: "Connection Failed"; font.pixelSize: Theme.title2; font.bold: true; color: Theme.text
                    }
                    Label {
                        visible: view.scan.panel === "failed"
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: 340
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.WordWrap
                        textFormat: Text.PlainText
                        text: view.scan.errorText
                        color: Theme.secondaryText
                    }
                    ProminentButton {
                        objectName: "tryAgainButton"
                        visible: view.scan.panel === "failed"
                        Layout.alignment: Qt.AlignHCenter
                        text: "Try Again"
                        onClicked: view.scan.scanAgain()
                    }

                    // Why the device chosen last did not connect; the list stays under it.
                    RowLayout {
                        objectName: "scanNotice"
                        visible: view.scan.panel === "found" && view.scan.notice.length > 0
                        Layout.alignment: Qt.AlignHCenter
                        Layout.maximumWidth: parent.width
                        spacing: 8
                        SymbolIcon { name: "xmark.circle"; color: Theme.red; size: 20 }
                        Label {
                            objectName: "scanNoticeText"
                            Layout.fillWidth: true
                            wrapMode: Text.WordWrap
                            textFormat: Text.PlainText
                            text: view.scan.notice
                            font.pixelSize: Theme.headline
                            font.bold: true
                            color: Theme.text
                            Accessible.role: Accessible.AlertMessage
                        }
                    }

                    // The devices found.
                    ColumnLayout {
                        visible: view.scan.panel === "found" && devices.count === 0
                        Layout.alignment: Qt.AlignHCenter
                        Layout.margins: 32
                        spacing: 12
                        Label {
                            Layout.alignment: Qt.AlignHCenter
                            text: "No devices found"; font.pixelSize: Theme.headline; font.bold: true; color: Theme.secondaryText
                        }
                        Label {
                            Layout.alignment: Qt.AlignHCenter
                            text: "Make sure your Di2 device is in pairing mode"
                            font.pixelSize: Theme.subheadline + 1
                            color: Theme.tertiaryText
                        }
                    }
                    // Every unit in range, each with its address: that is what tells two of the
                    // same model apart.
                    ColumnLayout {
                        objectName: "deviceList"
                        visible: view.scan.panel === "found" && devices.count > 0
                        Layout.fillWidth: true
                        spacing: 8
                        Repeater {
                            id: devices
                            model: view.scan.devices
                            DeviceRowView {
                                required property int index
                                Layout.fillWidth: true
                                Layout.leftMargin: 4
                                Layout.rightMargin: 4
                                onConnectClicked: view.scan.connectDevice(index)
                            }
                        }
                    }
                    // Where "Scan Again" comes once the scan stops, so that no row moves then.
                    RowLayout {
                        objectName: "scanningIndicator"
                        visible: view.scan.panel === "found" && view.scan.activeScanning
                        Layout.alignment: Qt.AlignHCenter
                        spacing: 8
                        BusyIndicator {
                            running: parent.visible
                            Layout.preferredWidth: 24
                            Layout.preferredHeight: 24
                        }
                        Label {
                            text: "Scanning for devices\u2026"
                            color: Theme.secondaryText
                        }
                    }
                    BorderedButton {
                        visible: view.scan.panel === "found" && !view.scan.activeScanning
                        Layout.alignment: Qt.AlignHCenter
                        text: "Scan Again"
                        onClicked: view.scan.scanAgain()
                    }
                }
            }
            Item { Layout.preferredHeight: 8 }
        }
    }

    // In sight whatever the window's height, as the onboarding's way on is.
    ColumnLayout {
        id: help
        visible: !view.showingLogs
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        spacing: 0
        Rectangle { Layout.fillWidth: true; height: 1; color: Theme.divider }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: 12
            spacing: 12
            BorderedButton {
                objectName: "scanCheckSetupButton"
                symbol: "gearshape"
                text: view.checkSetup.text
                onClicked: view.checkSetup.trigger()
            }
            BorderedButton {
                id: logsButton
                objectName: "scanLogsButton"
                symbol: "list.bullet.rectangle"
                text: "Logs"
                onClicked: view.showLogs(true, logsButton)
            }
        }
    }

    // The event log, with Export and Share as the connected window's Logs section has them.
    ColumnLayout {
        visible: view.showingLogs
        anchors.fill: parent
        spacing: 0
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 10
            Layout.bottomMargin: 0
            spacing: 8
            BorderedButton {
                id: back
                objectName: "scanLogsBack"
                symbol: "arrow.left"
                text: "Back"
                Accessible.name: "Back to Find Your Device"
                onClicked: view.showLogs(false, back)
            }
            Item { Layout.fillWidth: true; implicitHeight: 28 }
            LogActions {
                actions: view.debugLog
                exportLog: view.exportLog
            }
        }
        // Built when first shown, and kept.
        Loader {
            id: logsPage
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }
}
