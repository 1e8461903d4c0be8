pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// The connected window: the sidebar of four sections and the selected one beside it.
Item {
    id: view
    objectName: "mainScreen"
    required property CogwiseApp app
    required property Action checkSetup
    required property Action exportLog
    property string selectedSection: "Device"
    property bool sidebarVisible: true

    readonly property var sections: [
        { title: "Device", icon: "gauge.with.dots.needle.33percent" },
        { title: "Mapping", icon: "keyboard" },
        { title: "Logs", icon: "list.bullet.rectangle" },
        { title: "Settings", icon: "gearshape" }
    ]

    Connections {
        target: view.app.device
        function onNavigateToMapping() { view.selectedSection = "Mapping" }
    }

    // Ctrl+1…4 switch sections from anywhere in the window.
    Shortcut { sequence: "Ctrl+1"; context: Qt.WindowShortcut; onActivated: view.selectedSection = "Device" }
    Shortcut { sequence: "Ctrl+2"; context: Qt.WindowShortcut; onActivated: view.selectedSection = "Mapping" }
    Shortcut { sequence: "Ctrl+3"; context: Qt.WindowShortcut; onActivated: view.selectedSection = "Logs" }
    Shortcut { sequence: "Ctrl+4"; context: Qt.WindowShortcut; onActivated: view.selectedSection = "Settings" }

    // The section above or below the one shown, with the focus on its entry.
    function stepSection(step: int) {
        const titles = view.sections.map(section => section.title)
        const next = titles.indexOf(view.selectedSection) + step
        if (next < 0 || next >= titles.length)
            return
        view.selectedSection = titles[next]
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            objectName: "sidebar"
            visible: view.sidebarVisible
            Layout.fillHeight: true
            Layout.preferredWidth: 200
            Layout.minimumWidth: 180
            color: Theme.sidebar

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 10
                spacing: 2

                // The sidebar's toolbar: connected, and to what.
                RowLayout {
                    Layout.fillWidth: true
                    Layout.bottomMargin: 8
                    spacing: 6
                    ToolButton {
                        id: hideSidebar
                        objectName: "sidebarToggle"
                        implicitWidth: 28
                        implicitHeight: 28
                        Accessible.name: "Hide Sidebar"
                        contentItem: SymbolIcon { name: "sidebar.left"; color: Theme.secondaryText; size: 16 }
                        ToolTip.visible: hovered
                        ToolTip.text: "Hide Sidebar"
                        onClicked: view.sidebarVisible = false
                        FocusRing { control: hideSidebar }
                    }
                    Item { Layout.fillWidth: true }
                    Rectangle { width: 8; height: 8; radius: 4; color: Theme.green }
                    Label {
                        objectName: "toolbarModelNumber"
                        visible: view.app.device.modelNumber.length > 0
                        text: view.app.device.modelNumber
                        textFormat: Text.PlainText
                        font.pixelSize: Theme.caption
                        color: Theme.secondaryText
                    }
                }
                Label {
                    text: "Cogwise"
                    font.pixelSize: Theme.subheadline
                    font.bold: true
                    color: Theme.tertiaryText
                    Layout.leftMargin: 8
                    Layout.bottomMargin: 4
                }
                Repeater {
                    model: view.sections
                    ItemDelegate {
                        id: entry
                        required property var modelData
                        objectName: "section" + modelData.title
                        Layout.fillWidth: true
                        implicitHeight: 32
                        highlighted: view.selectedSection === modelData.title
                        // Delegates take no focus by default; the sidebar must, for keyboard use.
                        focusPolicy: Qt.StrongFocus
                        Accessible.role: Accessible.PageTab
                        Accessible.name: modelData.title
                        Accessible.description: "Ctrl+" + (view.sections.findIndex(section => section.title === entry.modelData.title) + 1)
                        Keys.onReturnPressed: entry.clicked()
                        Keys.onEnterPressed: entry.clicked()
                        Keys.onUpPressed: view.stepSection(-1)
                        Keys.onDownPressed: view.stepSection(1)
                        // Stepping moves the focus along with the selection.
                        onHighlightedChanged: if (highlighted && view.sidebarHasFocus()) entry.forceActiveFocus(Qt.TabFocusReason)
                        background: Rectangle {
                            radius: 6
                            color: entry.highlighted ? Theme.selection : entry.hovered ? Theme.hover : "transparent"
                        }
                        FocusRing { control: entry; gap: 1 }
                        contentItem: RowLayout {
                            spacing: 8
                            SymbolIcon { name: entry.modelData.icon; color: Theme.blue; size: 16 }
                            Label { text: entry.modelData.title; color: Theme.text; font.pixelSize: Theme.body; Layout.fillWidth: true }
                        }
                        onClicked: view.selectedSection = modelData.title
                    }
                }
                Item { Layout.fillHeight: true }
            }
        }
        Rectangle {
            visible: view.sidebarVisible
            Layout.fillHeight: true
            width: 1
            color: Theme.divider
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 0

            // The detail column's toolbar, there only while it holds something: else it would
            // be an empty band over the page's title.
            RowLayout {
                visible: !view.sidebarVisible || sectionActions.status === Loader.Ready
                Layout.fillWidth: true
                Layout.margins: 10
                Layout.bottomMargin: 0
                spacing: 8
                ToolButton {
                    id: showSidebar
                    objectName: "sidebarShow"
                    visible: !view.sidebarVisible
                    implicitWidth: 28
                    implicitHeight: 28
                    Accessible.name: "Show Sidebar"
                    contentItem: SymbolIcon { name: "sidebar.left"; color: Theme.secondaryText; size: 16 }
                    ToolTip.visible: hovered
                    ToolTip.text: "Show Sidebar"
                    onClicked: view.sidebarVisible = true
                    FocusRing { control: showSidebar }
                }
                Item { Layout.fillWidth: true; implicitHeight: 28 }
                // The section's own buttons, built each time it is shown: laid out once and then
                // hidden and shown, they were left on top of each other on the first visit to Logs.
                Loader {
                    id: sectionActions
                    visible: status === Loader.Ready
                }
            }

            Loader {
                id: detail
                objectName: "detail"
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
        }
    }

    // A section's QML is loaded when it is first shown.
    function showSection() {
        sectionActions.source = ""
        switch (view.selectedSection) {
        case "Mapping":
            detail.setSource(Qt.resolvedUrl("MappingSection.qml"), { model: view.app.mapping })
            break
        case "Logs":
            detail.setSource(Qt.resolvedUrl("LogsSection.qml"), { logs: view.app.logs })
            sectionActions.setSource(Qt.resolvedUrl("LogActions.qml"), { actions: view.app.debugLog, exportLog: view.exportLog })
            return
        case "Settings":
            detail.setSource(Qt.resolvedUrl("SettingsSection.qml"), { model: view.app.settings, checkSetup: view.checkSetup })
            break
        default:
            detail.setSource(Qt.resolvedUrl("DeviceInfoSection.qml"), { model: view.app.device })
        }
    }
    function sidebarHasFocus(): bool {
        const focused = view.Window.activeFocusItem
        return focused !== null && view.sections.some(section => focused.objectName === "section" + section.title)
    }
    onSelectedSectionChanged: showSection()
    Component.onCompleted: showSection()
}
