#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QStringList>

class QQuickItem;
class QQuickWindow;

// Looks at a window as its rider does: the controls the keyboard reaches, where they are, and
// the pixels drawn. Each check answers the problems it found, one sentence each.
class WindowInspector
{
public:
    explicit WindowInspector(QQuickWindow& window);

    // Shown, enabled controls that take the focus from Tab.
    QList<QQuickItem*> controls() const;
    // Every page back at its top, as it is first shown.
    void scrollToTop() const;
    // Polishes and draws until no control moves any more; the last frame drawn.
    QImage settle();

    // Every control inside the window (or reachable by scrolling its page) and inside the items
    // around it, and none on top of another.
    QStringList placementProblems() const;
    // Text against what is drawn behind it: 4.5:1, or 3:1 for large text; a busy indicator
    // against its background: 3:1.
    QStringList contrastProblems(const QImage& frame) const;
    // The outermost line of a panel (a dialog's frame) against the window around it: 3:1.
    QStringList edgeProblems(QQuickItem* panel, const QImage& frame) const;
    // Every control has a name for screen readers.
    QStringList accessibilityProblems() const;
    // Tab from the start until the focus comes round again: every control is visited in reading
    // order, brought into view, and ringed.
    QStringList focusWalkProblems();

    // "BorderedButton \"Clear\"": how a problem names an item.
    static QString describe(QQuickItem* item);

private:
    QRectF sceneRect(QQuickItem* item) const;
    // Where the item is on its page, as if every page were scrolled to its top.
    QRectF pageRect(QQuickItem* item) const;
    QRectF visibleArea(QQuickItem* item) const;

    QQuickWindow& m_window;
};
