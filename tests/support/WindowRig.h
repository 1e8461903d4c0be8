#pragma once

#include "gui/ColorScheme.h"
#include "support/GuiRig.h"
#include "support/QuickHarness.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <functional>
#include <optional>
#include <utility>

// The real window, loaded as the composition root loads it, over the simulated unit in a colour
// scheme of the test's. Its tests run on an X server of their own, where the window is drawn and
// clicked as a rider's is; the pictures they take land among the screenshots.
class WindowRig
{
public:
    WindowRig(const QString& settingsPath, const QString& scheme, std::unique_ptr<KeySink> sink = {})
        : m_rig(settingsPath, std::move(sink))
    {
        ColorScheme::apply(*qGuiApp, scheme);
        CogwiseApp::prepare(m_engine);
        m_engine.setInitialProperties({{QStringLiteral("app"), QVariant::fromValue(m_rig.app.get())}});
        m_engine.load(CogwiseApp::mainWindowUrl());
        if (!m_engine.rootObjects().isEmpty())
            m_window = qobject_cast<QQuickWindow*>(m_engine.rootObjects().constFirst());
    }

    static std::optional<QString> missing()
    {
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            return std::nullopt;
        return QStringLiteral("needs its own Xvfb (COGWISE_TEST_OWN_XVFB=1)");
    }

    GuiRig& rig() { return m_rig; }
    QQuickWindow* window() const { return m_window; }
    QQuickItem* item(const QString& name) const { return QuickHarness::find(m_window->contentItem(), name); }
    QObject* object(const QString& name) const { return m_window->findChild<QObject*>(name); }

    // Clicks the middle of an item once it is shown and has stopped moving.
    bool click(const QString& name) const
    {
        return clickWhenStill([this, &name] { return item(name); });
    }
    bool click(QQuickItem* target) const
    {
        return clickWhenStill([target] { return target; });
    }

    // Whether the popup (a dialog, the menu) of that name opens within `timeout`.
    bool opened(const QString& name, int timeout = 5000) const
    {
        return QTest::qWaitFor(
            [&] {
                QObject* popup = object(name);
                return popup && popup->property("opened").toBool();
            },
            timeout);
    }
    // Presses `key` in the window; whether the popup of that name then closes.
    bool closedBy(Qt::Key key, const QString& name) const
    {
        QTest::keyClick(m_window, key);
        return QTest::qWaitFor([&] { return !object(name)->property("visible").toBool(); });
    }
    QString text(const QString& name) const { return item(name)->property("text").toString(); }

    // The window as drawn now, once what is pending has landed.
    void picture(const QString& name) const
    {
        QCoreApplication::processEvents();
        save(m_window->grabWindow(), name);
    }
    static void save(const QImage& frame, const QString& name)
    {
        QDir().mkpath(QStringLiteral(COGWISE_SCREENSHOT_DIR));
        frame.save(QStringLiteral("%1/%2.png").arg(QStringLiteral(COGWISE_SCREENSHOT_DIR), name));
    }

private:
    bool clickWhenStill(const std::function<QQuickItem*()>& find) const
    {
        QQuickItem* target = nullptr;
        QPointF last(-1, -1);
        const bool still = QTest::qWaitFor([&] {
            target = find();
            if (!target || !QuickHarness::shown(target))
                return false;
            m_window->grabWindow(); // polishes and draws
            const QPointF now = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
            return std::exchange(last, now) == now;
        });
        if (!still)
            return false;
        QTest::mouseClick(m_window, Qt::LeftButton, {}, last.toPoint());
        return true;
    }

    GuiRig m_rig;
    QQmlApplicationEngine m_engine;
    QQuickWindow* m_window = nullptr;
};
