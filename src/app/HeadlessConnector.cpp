#include "app/HeadlessConnector.h"

#include "bluetooth/ConnectionService.h"
#include "di2/PrintableText.h"

HeadlessConnector::HeadlessConnector(ConnectionService& service, AddressOf addressOf, QTextStream& out,
                                     QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_addressOf(std::move(addressOf))
    , m_out(out)
{
    // Queued: the service finishes its own transition before we act on it.
    connect(&m_service, &ConnectionService::connectionStateChanged, this, &HeadlessConnector::onStateChanged,
            Qt::QueuedConnection);
}

void HeadlessConnector::onStateChanged()
{
    const auto* found = m_service.connectionState().as<ConnectionState::Found>();
    if (!found || m_service.savedUnit())
        return;
    QList<DiscoveredDevice> units;
    for (const DiscoveredDevice& device : found->devices) {
        if (device.isDi2Device())
            units.append(device);
    }
    if (units.size() == 1) {
        m_service.connect(units.constFirst());
        return;
    }
    if (units.size() > 1) {
        QStringList lines;
        for (const DiscoveredDevice& unit : std::as_const(units))
            lines.append(QStringLiteral("  %1  %2  %3 dBm")
                             .arg(PrintableText::escaped(unit.name), m_addressOf(unit.id))
                             .arg(unit.rssi));
        if (lines != m_listed) {
            m_listed = lines;
            m_out << "cogwise: " << units.size()
                  << " Di2 units are in range; start Cogwise with --device ADDRESS to choose yours:\n"
                  << lines.join(QLatin1Char('\n')) << Qt::endl;
        }
    }
    if (!found->activeScanning)
        m_service.rescan();
}
