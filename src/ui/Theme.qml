pragma Singleton
import QtQuick

// Colours and type sizes of the whole window, light or dark after the desktop's palette.
QtObject {
    readonly property SystemPalette palette: SystemPalette { colorGroup: SystemPalette.Active }
    readonly property SystemPalette disabledPalette: SystemPalette { colorGroup: SystemPalette.Disabled }
    readonly property bool dark: palette.window.hslLightness < 0.5

    readonly property color window: palette.window
    readonly property color text: palette.windowText
    readonly property color secondaryText: Qt.rgba(text.r, text.g, text.b, 0.62)
    readonly property color tertiaryText: Qt.rgba(text.r, text.g, text.b, 0.4)
    readonly property color divider: Qt.rgba(text.r, text.g, text.b, 0.12)
    // The "ultra-thin" translucent panel: a veil of the opposite tone over the window.
    readonly property color panel: dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(1, 1, 1, 0.55)
    readonly property color panelBorder: dark ? Qt.rgba(1, 1, 1, 0.1) : Qt.rgba(0, 0, 0, 0.07)
    readonly property color sidebar: dark ? Qt.rgba(1, 1, 1, 0.04) : Qt.rgba(0, 0, 0, 0.035)
    readonly property color selection: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.08)

    readonly property color blue: dark ? "#0a84ff" : "#007aff"
    readonly property color cyan: dark ? "#64d2ff" : "#32ade6"
    readonly property color green: dark ? "#30d158" : "#28cd41"
    readonly property color orange: dark ? "#ff9f0a" : "#ff9500"
    readonly property color red: dark ? "#ff453a" : "#ff3b30"
    readonly property color yellow: dark ? "#ffd60a" : "#ffcc00"
    readonly property color purple: dark ? "#bf5af2" : "#af52de"
    readonly property color gray: "#8e8e93"

    function named(name) {
        switch (name) {
        case "blue": return blue
        case "green": return green
        case "orange": return orange
        case "red": return red
        case "yellow": return yellow
        case "purple": return purple
        default: return gray
        }
    }

    // Point sizes of the text styles, in pixels.
    readonly property int largeTitle: 26
    readonly property int title: 22
    readonly property int title2: 17
    readonly property int title3: 15
    readonly property int headline: 13
    readonly property int body: 13
    readonly property int subheadline: 11
    readonly property int footnote: 10
    readonly property int caption: 10
    readonly property int caption2: 10
    readonly property string monospace: "monospace"
}
