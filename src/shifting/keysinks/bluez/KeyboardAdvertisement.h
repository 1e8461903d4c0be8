#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>

// How the keyboard shows itself to hosts: a peripheral with the HID service and the keyboard's
// appearance, named "Cogwise". BlueZ reads it once, at RegisterAdvertisement: a change of
// discoverability means registering it again.
class KeyboardAdvertisement : public QDBusVirtualObject
{
    Q_OBJECT

public:
    explicit KeyboardAdvertisement(const QString& path, QObject* parent = nullptr);
    ~KeyboardAdvertisement() override;

    bool serve(const QDBusConnection& connection);
    QString path() const { return m_path; }

    // Discoverable while the rider pairs a new host; connectable for paired hosts always.
    void setDiscoverable(bool discoverable) { m_discoverable = discoverable; }
    bool discoverable() const { return m_discoverable; }
    QVariantMap properties() const;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

Q_SIGNALS:
    // BlueZ let the advertisement go (the adapter went away, say).
    void released();

private:
    QString m_path;
    QDBusConnection m_connection;
    bool m_served = false;
    bool m_discoverable = false;
};
