#pragma once

#include "KeyArrivals.h"

#include <QDBusMessage>
#include <QVariantList>
#include <optional>

// The host that the fake bluetoothd plays for Cogwise's Bluetooth keyboard (an iPad): it pairs
// the first time and connects again after, subscribes to the keyboard's reports, and records
// each one with its arrival. Its key downs are the reports that hold a key.
class KeyboardHost : public KeyArrivals
{
public:
    // Waits for a keyboard open for pairing, pairs with it or connects again, and waits until
    // the host has subscribed; an error text otherwise.
    std::optional<QString> attach();
    // The host leaves, and the keyboard's process is gone from the fake, so that the next
    // process starts from nothing.
    std::optional<QString> detach();

    std::optional<Key> nextDown(int timeoutMs) override;
    void discardArrived() override;

private:
    struct Report
    {
        QByteArray value;
        qint64 received = 0;
    };

    QList<Report> arrived();
    static QDBusMessage query(const QString& method, const QVariantList& arguments = {});

    bool m_paired = false;
    qsizetype m_seen = 0;
};
