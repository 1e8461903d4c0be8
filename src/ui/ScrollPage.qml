import QtQuick
import QtQuick.Controls

// A page that scrolls when it is taller than the window, with its scroll bar in sight while it
// does, and that brings the control taking the keyboard focus into view.
ScrollView {
    id: page
    contentWidth: availableWidth
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
    ScrollBar.vertical.policy: contentHeight > availableHeight ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff

    readonly property Item focusedItem: Window.activeFocusItem
    onFocusedItemChanged: reveal(focusedItem)

    // Room kept above and below a revealed control, for its focus ring.
    readonly property real revealMargin: 12
    // Where a page of the connected window puts its column: centred, and no wider than reads well.
    readonly property real columnWidth: Math.min(availableWidth, Theme.readableWidth)
    readonly property real columnX: Math.round((availableWidth - columnWidth) / 2)

    function reveal(item: Item) {
        const view = page.contentItem as Flickable
        if (!item || !view)
            return
        let inside = false
        for (let ancestor = item.parent; ancestor && !inside; ancestor = ancestor.parent)
            inside = ancestor === view.contentItem
        if (!inside)
            return
        const top = item.mapToItem(view.contentItem, 0, 0).y - page.revealMargin
        const bottom = top + item.height + 2 * page.revealMargin
        if (top < view.contentY)
            view.contentY = Math.max(0, top)
        else if (bottom > view.contentY + view.height)
            view.contentY = Math.max(0, Math.min(bottom - view.height, view.contentHeight - view.height))
    }
}
