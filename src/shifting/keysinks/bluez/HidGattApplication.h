#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// The keyboard's GATT database as BlueZ's GattManager1 takes it: an object tree under one path
// with an ObjectManager at its root, the HID service and a Battery service. BlueZ reads the tree
// before it answers RegisterApplication, so the tree is served from the moment it is created.
class HidGattApplication : public QDBusVirtualObject
{
    Q_OBJECT

public:
    // `path` is the root; nothing is registered on the bus until serve().
    explicit HidGattApplication(const QString& path, QObject* parent = nullptr);
    ~HidGattApplication() override;

    bool serve(const QDBusConnection& connection);
    QString path() const { return m_root; }

    // Sends a report to the subscribed host; false when no host subscribed to keys.
    bool sendReport(const QByteArray& report);
    bool hostSubscribed() const;
    void setBatteryLevel(int percent);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

Q_SIGNALS:
    // A host subscribed to keys, or the last one left.
    void subscriptionChanged(bool subscribed);

private:
    struct Attribute
    {
        enum class Kind { service, characteristic, descriptor };
        Kind kind;
        QString path;
        QString uuid;
        QString parent; // the service of a characteristic, the characteristic of a descriptor
        QStringList flags;
        QByteArray value;
        bool notifying = false;
    };

    Attribute* find(const QString& path);
    const Attribute* find(const QString& path) const;
    QString add(Attribute::Kind kind, const QString& relative, const QString& uuid, const QString& parent,
                QStringList flags = {}, QByteArray value = {});
    QVariantMap properties(const Attribute& attribute) const;
    static QString interfaceOf(const Attribute& attribute);
    void notify(Attribute& attribute, const QByteArray& value);
    QDBusMessage read(const QDBusMessage& message, const Attribute& attribute) const;
    QDBusMessage write(const QDBusMessage& message, Attribute& attribute);
    QDBusMessage setNotifying(const QDBusMessage& message, Attribute& attribute, bool on);

    QString m_root;
    QList<Attribute> m_attributes;
    QString m_inputReport;
    QString m_bootInput;
    QString m_protocolMode;
    QString m_battery;
    QDBusConnection m_connection;
    bool m_served = false;
};
