pragma Singleton
import QtQuick

// Colours and type sizes of the whole window, light or dark after the application's palette.
// Every colour that text or a symbol is drawn in keeps WCAG AA contrast (4.5:1 for text, 3:1
// for symbols and large text) over the window, the panels and the tinted cards, in both schemes.
QtObject {
    readonly property SystemPalette palette: SystemPalette { colorGroup: SystemPalette.Active }
    readonly property SystemPalette disabledPalette: SystemPalette { colorGroup: SystemPalette.Disabled }
    readonly property bool dark: palette.window.hslLightness < 0.5

    readonly property color window: palette.window
    readonly property color text: palette.windowText
    readonly property color secondaryText: Qt.rgba(text.r, text.g, text.b, 0.76)
    readonly property color tertiaryText: Qt.rgba(text.r, text.g, text.b, 0.68)
    readonly property color divider: Qt.rgba(text.r, text.g, text.b, 0.12)
    // The "ultra-thin" translucent panel: a veil of the opposite tone over the window.
    readonly property color panel: dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(1, 1, 1, 0.55)
    readonly property color panelBorder: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.1)
    // The edge of a dialog, 3:1 against the window dimmed behind it in either scheme.
    readonly property color dialogEdge: "#6e6e73"
    readonly property color sidebar: dark ? Qt.rgba(1, 1, 1, 0.04) : Qt.rgba(0, 0, 0, 0.035)
    readonly property color selection: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.08)
    readonly property color hover: Qt.rgba(0.5, 0.5, 0.5, 0.1)

    readonly property color blue: dark ? "#4ca2ff" : "#0056b3"
    readonly property color cyan: dark ? "#64d2ff" : "#0a7ea8"
    readonly property color green: dark ? "#30d158" : "#1e7b34"
    readonly property color orange: dark ? "#ff9f0a" : "#a34700"
    readonly property color red: dark ? "#ff6961" : "#b00016"
    readonly property color yellow: dark ? "#ffd60a" : "#7a6000"
    readonly property color purple: dark ? "#d08cff" : "#7d3bab"
    readonly property color gray: dark ? "#98989f" : "#6e6e73"
    // The fill of the prominent buttons, under white text.
    readonly property color accentFill: dark ? "#0b6bd4" : "#0062cc"
    readonly property color destructiveFill: dark ? "#d70015" : "#c9001a"
    // The ring around the control that has the keyboard focus.
    readonly property color focus: dark ? "#6cb4ff" : "#0057b8"
    // The hub of the gear drawings, and the digit on it.
    readonly property color hub: dark ? "#c7c7cc" : "#48484a"
    readonly property color hubText: dark ? "#1c1c1e" : "#ffffff"

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
    // A light wash of a colour, for the background of a card or badge of that tone.
    function tint(tone, strength) {
        return Qt.rgba(tone.r, tone.g, tone.b, strength)
    }

    // A page's column, its margins included, at most this wide: on a wide window the lines stay
    // readable and each control stays near its label.
    readonly property int readableWidth: 808

    // Point sizes of the text styles, in pixels.
    readonly property int largeTitle: 26
    readonly property int title: 22
    readonly property int title2: 17
    readonly property int title3: 15
    readonly property int headline: 13
    readonly property int body: 13
    readonly property int subheadline: 11
    readonly property int footnote: 11
    readonly property int caption: 11
    readonly property int caption2: 11
    readonly property string monospace: "monospace"
}
