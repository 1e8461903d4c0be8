import QtQuick
import QtQuick.Layouts
import QtQuick.Controls
import Cogwise

// Export and Share, on the toolbar over the event log.
RowLayout {
    id: bar
    required property DebugLogActions actions
    required property Action exportLog

    spacing: 8
    BorderedButton {
        objectName: "exportButton"
        symbol: "square.and.arrow.up"
        text: "Export"
        ToolTip.visible: hovered
        ToolTip.delay: 600
        ToolTip.text: "Export debug logs to a file"
        onClicked: bar.exportLog.trigger()
    }
    BorderedButton {
        objectName: "shareButton"
        symbol: "envelope"
        text: "Share"
        ToolTip.visible: hovered
        ToolTip.delay: 600
        ToolTip.text: "Share debug logs via email"
        onClicked: bar.actions.shareLogs()
    }
}
