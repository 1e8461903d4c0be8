#include "support/WindowInspector.h"

#include "support/QuickHarness.h"

#include <QAccessible>
#include <QFont>
#include <QHash>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// Half a pixel either way is rounding, not a fault.
constexpr double tolerance = 1.0;

bool isControl(QQuickItem* item)
{
    // A spin box takes the focus in its text field, whatever its own focus policy.
    if (item->inherits("QQuickSpinBox"))
        return true;
    if (item->inherits("QQuickControl"))
        return item->property("focusPolicy").toInt() & Qt::TabFocus;
    if (item->inherits("QQuickTextField"))
        return item->activeFocusOnTab();
    return false;
}

double effectiveOpacity(QQuickItem* item)
{
    double opacity = 1;
    for (; item; item = item->parentItem())
        opacity *= item->opacity();
    return opacity;
}

bool isShown(QQuickItem* item)
{
    return QuickHarness::shown(item) && effectiveOpacity(item) > 0.01 && item->width() > 0 &&
           item->height() > 0;
}

// The item itself or the nearest item around it of that class; null if none.
QQuickItem* nearest(QQuickItem* item, const char* className)
{
    while (item && !item->inherits(className))
        item = item->parentItem();
    return item;
}

QQuickItem* flickableOf(QQuickItem* item)
{
    return nearest(item->parentItem(), "QQuickFlickable");
}

QString rectText(const QRectF& rect)
{
    return u"%1,%2 %3\u00d7%4"_s.arg(std::round(rect.x()))
        .arg(std::round(rect.y()))
        .arg(std::round(rect.width()))
        .arg(std::round(rect.height()));
}

double luminance(const QColor& colour)
{
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

// The colour most of the area is painted in: the background of a text, say. Close shades (a
// gradient, antialiasing) count as one.
QColor dominantColour(const QImage& frame, const QRect& area)
{
    QHash<QRgb, std::array<qint64, 4>> buckets; // pixels, then the sums of their red, green and blue
    const QRect inside = area.intersected(frame.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRgb pixel = frame.pixel(x, y);
            auto& bucket = buckets[qRgb(qRed(pixel) & ~3, qGreen(pixel) & ~3, qBlue(pixel) & ~3)];
            bucket[0] += 1;
            bucket[1] += qRed(pixel);
            bucket[2] += qGreen(pixel);
            bucket[3] += qBlue(pixel);
        }
    }
    const auto most = std::max_element(buckets.cbegin(), buckets.cend(),
                                       [](const auto& a, const auto& b) { return a[0] < b[0]; });
    if (most == buckets.cend())
        return {};
    const auto& [count, red, green, blue] = *most;
    return QColor(int(red / count), int(green / count), int(blue / count));
}

QColor over(const QColor& top, double alpha, const QColor& bottom)
{
    return QColor::fromRgbF(float(top.redF() * alpha + bottom.redF() * (1 - alpha)),
                            float(top.greenF() * alpha + bottom.greenF() * (1 - alpha)),
                            float(top.blueF() * alpha + bottom.blueF() * (1 - alpha)));
}

bool inSidebar(QQuickItem* item)
{
    while (item && item->objectName() != QLatin1String("sidebar"))
        item = item->parentItem();
    return item;
}

void collect(QQuickItem* item, const std::function<void(QQuickItem*)>& visit)
{
    if (!item || !item->isVisible())
        return;
    visit(item);
    for (QQuickItem* child : item->childItems())
        collect(child, visit);
}

// WCAG's contrast ratio of two opaque colours.
double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

WindowInspector::WindowInspector(QQuickWindow& window)
    : m_window(window)
{}

QString WindowInspector::describe(QQuickItem* item)
{
    QString type = QString::fromLatin1(item->metaObject()->className());
    type = type.section(QLatin1Char('_'), 0, 0);
    if (type.startsWith(QLatin1String("QQuick")))
        type = type.mid(6);
    QString label = item->property("text").toString();
    if (label.isEmpty())
        label = item->objectName();
    return label.isEmpty() ? type : u"%1 \"%2\""_s.arg(type, label.left(40));
}

QRectF WindowInspector::sceneRect(QQuickItem* item) const
{
    return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
}

QRectF WindowInspector::pageRect(QQuickItem* item) const
{
    QRectF rect = sceneRect(item);
    for (QQuickItem* flickable = flickableOf(item); flickable; flickable = flickableOf(flickable))
        rect.translate(flickable->property("contentX").toDouble(),
                       flickable->property("contentY").toDouble());
    return rect;
}

QRectF WindowInspector::visibleArea(QQuickItem* item) const
{
    QRectF area = sceneRect(item).intersected(QRectF(0, 0, m_window.width(), m_window.height()));
    for (QQuickItem* ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        if (ancestor->clip())
            area = area.intersected(sceneRect(ancestor));
    }
    return area;
}

QList<QQuickItem*> WindowInspector::controls() const
{
    QList<QQuickItem*> found;
    collect(m_window.contentItem(), [&found](QQuickItem* item) {
        if (isControl(item) && item->isEnabled() && isShown(item))
            found.append(item);
    });
    return found;
}

void WindowInspector::scrollToTop() const
{
    collect(m_window.contentItem(), [](QQuickItem* item) {
        if (item->inherits("QQuickFlickable")) {
            item->setProperty("contentX", item->property("originX"));
            item->setProperty("contentY", item->property("originY"));
        }
    });
}

QImage WindowInspector::settle()
{
    // A busy indicator fades in: caught halfway, it stands out less than the rider sees it.
    std::ignore = QTest::qWaitFor([this] {
        bool faded = true;
        collect(m_window.contentItem(), [&faded](QQuickItem* item) {
            if (item->inherits("QQuickBusyIndicator") && item->property("running").toBool() &&
                isShown(item)) {
                QQuickItem* content = item->property("contentItem").value<QQuickItem*>();
                faded = faded && (!content || effectiveOpacity(content) > 0.99);
            }
        });
        return faded;
    });
    QList<QRectF> before;
    QImage frame;
    // Each grab polishes every item and draws; layouts that answer a size with another size take
    // a few rounds.
    const QSize pixels = m_window.size() * m_window.devicePixelRatio();
    for (int round = 0; round < 20; ++round) {
        frame = m_window.grabWindow();
        if (frame.size() != pixels) {
            // A resize reaches the X server first: until it answers, the frame is the old one.
            QSignalSpy swapped(&m_window, &QQuickWindow::frameSwapped);
            m_window.update();
            swapped.wait(1000);
            continue;
        }
        QList<QRectF> now;
        for (QQuickItem* control : controls())
            now.append(sceneRect(control));
        if (now == before)
            break;
        before = now;
    }
    return frame;
}

QStringList WindowInspector::placementProblems() const
{
    QStringList problems;
    const QRectF window(0, 0, m_window.width(), m_window.height());
    const QRectF roomy = window.adjusted(-tolerance, -tolerance, tolerance, tolerance);
    const QList<QQuickItem*> all = controls();
    for (QQuickItem* control : all) {
        const QRectF rect = sceneRect(control);
        QQuickItem* page = flickableOf(control);
        if (rect.left() < roomy.left() || rect.right() > roomy.right())
            problems << u"%1 runs off the side of the window (%2)"_s.arg(describe(control), rectText(rect));
        if (!page && (rect.top() < roomy.top() || rect.bottom() > roomy.bottom()))
            problems << u"%1 runs off the window (%2)"_s.arg(describe(control), rectText(rect));
        if (page) {
            const QRectF view = sceneRect(page);
            if (!roomy.contains(view))
                problems << u"the page of %1 runs off the window"_s.arg(describe(control));
            const double top = rect.top() - view.top() + page->property("contentY").toDouble();
            const double height = std::max(page->property("contentHeight").toDouble(), view.height());
            if (top < -tolerance || top + rect.height() > height + tolerance)
                problems << u"%1 lies where its page does not scroll to"_s.arg(describe(control));
        }
        // Up to the page it scrolls in, if any: the page itself is checked above.
        for (QQuickItem* ancestor = control->parentItem(); ancestor && !ancestor->inherits("QQuickFlickable");
             ancestor = ancestor->parentItem()) {
            if (ancestor->width() <= 0 || ancestor->height() <= 0)
                continue;
            const QRectF outer = sceneRect(ancestor).adjusted(-tolerance, -tolerance, tolerance, tolerance);
            if (!outer.contains(rect)) {
                problems << u"%1 (%2) sticks out of %3 (%4)"_s.arg(
                    describe(control), rectText(rect), describe(ancestor), rectText(sceneRect(ancestor)));
                break;
            }
        }
    }
    for (int i = 0; i < all.size(); ++i) {
        for (int j = i + 1; j < all.size(); ++j) {
            QQuickItem* a = all.at(i);
            QQuickItem* b = all.at(j);
            if (a->isAncestorOf(b) || b->isAncestorOf(a))
                continue;
            const QRectF shared = visibleArea(a).intersected(visibleArea(b));
            if (shared.width() > tolerance && shared.height() > tolerance)
                problems << u"%1 and %2 lie on top of each other at %3"_s.arg(describe(a), describe(b),
                                                                              rectText(shared));
        }
    }
    return problems;
}

QStringList WindowInspector::contrastProblems(const QImage& frame) const
{
    QStringList problems;
    const double scale = frame.devicePixelRatio();
    const auto pixels = [scale](const QRectF& rect) {
        return QRect(
            QPoint(int(std::ceil(rect.left() * scale)), int(std::ceil(rect.top() * scale))),
            QPoint(int(std::floor(rect.right() * scale)) - 1, int(std::floor(rect.bottom() * scale)) - 1));
    };
    collect(m_window.contentItem(), [&](QQuickItem* item) {
        const bool text = item->inherits("QQuickText");
        const bool input = item->inherits("QQuickTextInput");
        if (text || input) {
            const QString shown = item->property(text ? "text" : "displayText").toString();
            QQuickItem* control = nearest(item, "QQuickControl");
            if (shown.trimmed().isEmpty() || !isShown(item) || (control && !control->isEnabled()))
                return;
            const QRectF area = visibleArea(item);
            if (area.height() < 0.6 * item->height() || area.width() < 1)
                return; // scrolled out of sight
            const QColor declared = item->property("color").value<QColor>();
            const double alpha = declared.alphaF() * effectiveOpacity(item);
            if (alpha <= 0.01)
                return;
            const QColor background = dominantColour(frame, pixels(area));
            if (!background.isValid())
                return;
            const QColor drawn = over(declared, alpha, background);
            const QFont font = item->property("font").value<QFont>();
            const double size = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96 / 72;
            const bool large = size >= 24 || (font.bold() && size >= 18.5);
            const double needed = large ? 3.0 : 4.5;
            const double ratio = contrast(drawn, background);
            if (ratio < needed - 0.05)
                problems << u"\"%1\" is %2:1 against its background (%3 on %4), under %5:1"_s
                                .arg(shown.left(40))
                                .arg(ratio, 0, 'f', 2)
                                .arg(drawn.name(), background.name())
                                .arg(needed);
            return;
        }
        if (item->inherits("QQuickBusyIndicator") && item->property("running").toBool() && isShown(item)) {
            if (visibleArea(item).height() < 0.6 * item->height())
                return; // scrolled out of sight
            const QRect area = pixels(visibleArea(item));
            const QColor background = dominantColour(frame, area);
            double best = 1;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x)
                    best = std::max(best, contrast(frame.pixelColor(x, y), background));
            }
            if (best < 3.0)
                problems << u"a busy indicator is %1:1 against its background %2, under 3:1"_s
                                .arg(best, 0, 'f', 2)
                                .arg(background.name());
        }
    });
    return problems;
}

QStringList WindowInspector::edgeProblems(QQuickItem* panel, const QImage& frame) const
{
    // The middle half of the left side, and a strip of the window just beyond it.
    const double scale = frame.devicePixelRatio();
    const QRectF side = sceneRect(panel);
    const int top = int(std::round((side.top() + side.height() / 4) * scale));
    const int height = int(std::round(side.height() / 2 * scale));
    const int left = int(std::round(side.left() * scale));
    const QColor edge = dominantColour(frame, QRect(left, top, 1, height));
    const QColor around = dominantColour(frame, QRect(left - int(6 * scale), top, int(4 * scale), height));
    const double ratio = contrast(edge, around);
    if (ratio >= 3.0)
        return {};
    return {u"the edge of %1 is %2:1 against the window around it (%3 on %4), under 3:1"_s
                .arg(describe(panel->parentItem()))
                .arg(ratio, 0, 'f', 2)
                .arg(edge.name(), around.name())};
}

QStringList WindowInspector::accessibilityProblems() const
{
    QStringList problems;
    for (QQuickItem* control : controls()) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
            problems << u"%1 at %2 has no accessible name"_s.arg(describe(control),
                                                                 rectText(sceneRect(control)));
    }
    return problems;
}

QStringList WindowInspector::focusWalkProblems()
{
    QStringList problems;
    const QList<QQuickItem*> all = controls();
    if (all.isEmpty())
        return problems; // nothing for Tab to reach
    QHash<QQuickItem*, QRectF> places;
    for (QQuickItem* control : all)
        places.insert(control, pageRect(control));
    const QList<QPointer<QQuickItem>> watched(all.begin(), all.end());

    m_window.requestActivate();
    if (!QTest::qWaitForWindowActive(&m_window))
        return {u"the window never became active"_s};
    m_window.contentItem()->forceActiveFocus();

    QList<QQuickItem*> order;
    for (int step = 0; step < all.size() + 3; ++step) {
        QTest::keyClick(&m_window, Qt::Key_Tab);
        QQuickItem* focused = m_window.activeFocusItem();
        if (std::any_of(watched.begin(), watched.end(), [](const QPointer<QQuickItem>& c) { return !c; }))
            break;
        QQuickItem* control = focused;
        while (control && !places.contains(control))
            control = control->parentItem();
        if (!control) {
            if (focused && focused != m_window.contentItem())
                problems << u"Tab stops on %1, which is no control"_s.arg(describe(focused));
            continue;
        }
        if (order.contains(control))
            break;
        order.append(control);

        const QImage frame = m_window.grabWindow();
        const QRectF rect = sceneRect(control);
        const QRectF seen = visibleArea(control);
        if (seen.width() < rect.width() - tolerance || seen.height() < rect.height() - tolerance)
            problems << u"%1 is not all in view while it has the focus (%2 of %3)"_s.arg(
                describe(control), rectText(seen), rectText(rect));
        QQuickItem* ring = QuickHarness::find(control, u"focusRing"_s);
        if (!ring || !ring->isVisible()) {
            problems << u"%1 shows no focus ring"_s.arg(describe(control));
            continue;
        }
        const QColor colour = ring->property("border").value<QObject*>()->property("color").value<QColor>();
        const double width = ring->property("border").value<QObject*>()->property("width").toDouble();
        const QRectF band = sceneRect(ring).adjusted(width / 2, width / 2, -width / 2, -width / 2);
        const QPointF sides[] = {{band.center().x(), band.top()},
                                 {band.center().x(), band.bottom()},
                                 {band.left(), band.center().y()},
                                 {band.right(), band.center().y()}};
        const double scale = frame.devicePixelRatio();
        int drawn = 0;
        for (const QPointF& side : sides) {
            const QPoint at(int(side.x() * scale), int(side.y() * scale));
            if (!frame.rect().contains(at))
                continue;
            const QColor pixel = frame.pixelColor(at);
            if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green()) +
                    std::abs(pixel.blue() - colour.blue()) <
                60)
                ++drawn;
        }
        if (drawn < 3)
            problems
                << u"the focus ring of %1 is drawn on %2 of its 4 sides"_s.arg(describe(control)).arg(drawn);
    }
    // A control that went away under the walk lost the focus with it.
    for (const QPointer<QQuickItem>& control : watched) {
        if (!control) {
            problems << u"a control was rebuilt while Tab went round: its focus was lost"_s;
            return problems;
        }
    }
    for (QQuickItem* control : all) {
        if (!order.contains(control))
            problems << u"Tab never reaches %1"_s.arg(describe(control));
    }
    // Tab goes round in a circle: it is read from the control that comes first on the page.
    const auto first = std::min_element(order.begin(), order.end(), [&places](QQuickItem* a, QQuickItem* b) {
        const QRectF pa = places.value(a);
        const QRectF pb = places.value(b);
        return std::make_tuple(!inSidebar(a), pa.top(), pa.left()) <
               std::make_tuple(!inSidebar(b), pb.top(), pb.left());
    });
    if (first != order.end())
        std::rotate(order.begin(), first, order.end());
    for (int i = 1; i < order.size(); ++i) {
        QQuickItem* a = order.at(i - 1);
        QQuickItem* b = order.at(i);
        const QRectF pa = places.value(a);
        const QRectF pb = places.value(b);
        const bool backToSidebar = inSidebar(b) && !inSidebar(a);
        const bool sameColumn = inSidebar(a) == inSidebar(b);
        const bool above = pb.bottom() <= pa.top() + tolerance;
        const bool sameRow = pb.top() < pa.bottom() && pa.top() < pb.bottom();
        const bool leftOf = pb.center().x() < pa.center().x() - tolerance;
        if (backToSidebar || (sameColumn && (above || (sameRow && leftOf))))
            problems << u"Tab goes from %1 back to %2"_s.arg(describe(a), describe(b));
    }
    // No ring left behind for the next picture.
    if (QQuickItem* focused = m_window.activeFocusItem())
        focused->setFocus(false);
    return problems;
}
