#include "app/HeadlessConnector.h"

#include "bluetooth/ConnectionService.h"

#include <QTimer>

HeadlessConnector::HeadlessConnector(ConnectionService& service, QObject* parent)
    : QObject(parent)
    , m_service(service)
{
    // Queued: the service finishes its own transition before we act on it.
    connect(&m_service, &ConnectionService::connectionStateChanged, this, &HeadlessConnector::onStateChanged,
            Qt::QueuedConnection);
}

void HeadlessConnector::onStateChanged()
{
    const auto* found = m_service.connectionState().as<ConnectionState::Found>();
    if (!found)
        return;
    for (const DiscoveredDevice& device : found->devices) {
        if (device.isDi2Device()) {
            m_service.connect(device);
            return;
        }
    }
    if (!found->activeScanning)
        m_service.rescan();
}
