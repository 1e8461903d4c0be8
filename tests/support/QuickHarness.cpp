#include "support/QuickHarness.h"

#include "gui/CogwiseApp.h"

#include <QQmlComponent>
#include <QTest>

QuickHarness::QuickHarness()
{
    CogwiseApp::prepare(m_engine);
}

std::unique_ptr<QObject> QuickHarness::create(const QString& component, const QVariantMap& properties)
{
    QQmlComponent loader(&m_engine, CogwiseApp::componentUrl(component));
    std::unique_ptr<QObject> object(loader.createWithInitialProperties(properties));
    if (!object)
        qWarning().noquote() << loader.errorString();
    return object;
}

QQuickItem* QuickHarness::find(QQuickItem* root, const QString& objectName)
{
    const auto all = findAll(root, objectName);
    return all.isEmpty() ? nullptr : all.first();
}

QList<QQuickItem*> QuickHarness::findAll(QQuickItem* root, const QString& objectName)
{
    QList<QQuickItem*> found;
    if (!root)
        return found;
    if (root->objectName() == objectName)
        found.append(root);
    for (QQuickItem* child : root->childItems())
        found += findAll(child, objectName);
    return found;
}

bool QuickHarness::shown(QQuickItem* item)
{
    for (; item; item = item->parentItem()) {
        if (!item->isVisible())
            return false;
    }
    return true;
}
