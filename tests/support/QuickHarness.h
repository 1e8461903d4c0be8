#pragma once

#include <QQmlEngine>
#include <QQuickItem>
#include <QString>
#include <memory>

// Loads the window's QML components for tests, and finds their items by object name.
class QuickHarness
{
public:
    QuickHarness();

    QQmlEngine& engine() { return m_engine; }

    // A component of the window (file name without ".qml") with its required properties.
    std::unique_ptr<QObject> create(const QString& component, const QVariantMap& properties);

    // Depth-first through visual children, so that Loader and Repeater items are found too.
    static QQuickItem* find(QQuickItem* root, const QString& objectName);
    static QList<QQuickItem*> findAll(QQuickItem* root, const QString& objectName);
    // Whether the item and all its ancestors are visible.
    static bool shown(QQuickItem* item);

private:
    QQmlEngine m_engine;
};
