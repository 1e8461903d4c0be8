#include "gui/KeyDestinationViewModel.h"

#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/KeyDestinationSwitch.h"

namespace {

using Target = KeyDestinationSwitch::Target;

} // namespace

KeyDestinationViewModel::KeyDestinationViewModel(KeyDestinationSwitch* keys, Defaults& defaults,
                                                 QObject* parent)
    : QObject(parent)
    , m_keys(keys)
    , m_defaults(defaults)
{
    m_countdown.setInterval(countdownTick);
    connect(&m_countdown, &QTimer::timeout, this, &KeyDestinationViewModel::readPairing);
    if (!m_keys)
        return;
    connect(m_keys, &RemoteKeySink::hostsChanged, this, &KeyDestinationViewModel::readHosts);
    connect(m_keys, &RemoteKeySink::pairingChanged, this, &KeyDestinationViewModel::readPairing);
    connect(m_keys, &KeySink::changed, this, [this] {
        readStatus();
        readHosts();
    });
    readHosts();
    readStatus();
    readPairing();
}

QStringList KeyDestinationViewModel::destinationNames() const
{
    return {QStringLiteral("This computer"), QStringLiteral("A device paired over Bluetooth")};
}

int KeyDestinationViewModel::destinationIndex() const
{
    return m_keys && m_keys->target() == Target::pairedDevice ? 1 : 0;
}

void KeyDestinationViewModel::setDestinationIndex(int index)
{
    if (!m_keys || index < 0 || index > 1 || index == destinationIndex())
        return;
    const bool toDevice = index == 1;
    m_defaults.setString(SettingsKeys::keysTo(),
                         toDevice ? QStringLiteral("bluetooth") : QStringLiteral("local"));
    m_keys->setTarget(toDevice ? Target::pairedDevice : Target::thisComputer);
    Q_EMIT destinationChanged();
    // The switch's news may come before the new target reads as set.
    readHosts();
    readStatus();
    readPairing();
}

void KeyDestinationViewModel::readHosts()
{
    QVariantList hosts;
    QStringList adapters;
    QString adapter;
    if (m_keys) {
        for (const RemoteKeySink::Host& host : m_keys->hosts())
            hosts.append(QVariantMap{{QStringLiteral("path"), host.path},
                                     {QStringLiteral("name"), host.name.isEmpty() ? host.address : host.name},
                                     {QStringLiteral("connected"), host.connected}});
        adapters = m_keys->adapters();
        adapter = m_keys->adapter();
    }
    if (hosts != m_hosts) {
        m_hosts = hosts;
        Q_EMIT hostsChanged();
    }
    if (adapters != m_adapters || adapter != m_adapter) {
        m_adapters = adapters;
        m_adapter = adapter;
        Q_EMIT adaptersChanged();
    }
}

void KeyDestinationViewModel::readStatus()
{
    const QString status = m_keys ? m_keys->status() : QString();
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

void KeyDestinationViewModel::readPairing()
{
    const bool open = m_keys && m_keys->pairingOpen();
    const int left = open ? m_keys->pairingSecondsLeft() : 0;
    if (open)
        m_countdown.start();
    else
        m_countdown.stop();
    if (open == m_pairingOpen && left == m_pairingSecondsLeft)
        return;
    m_pairingOpen = open;
    m_pairingSecondsLeft = left;
    Q_EMIT pairingChanged();
}

int KeyDestinationViewModel::adapterIndex() const
{
    return static_cast<int>(m_adapters.indexOf(m_adapter));
}

void KeyDestinationViewModel::setAdapterIndex(int index)
{
    if (!m_keys || index < 0 || index >= m_adapters.size() || index == adapterIndex())
        return;
    const QString adapter = m_adapters.at(index);
    m_defaults.setString(SettingsKeys::keyboardAdapter(), adapter);
    m_keys->setKeyboardAdapter(adapter);
    readHosts();
    readStatus();
    readPairing();
}

void KeyDestinationViewModel::pair()
{
    if (m_keys)
        m_keys->openPairing();
    readPairing();
}

void KeyDestinationViewModel::stopPairing()
{
    if (m_keys)
        m_keys->closePairing();
    readPairing();
}

void KeyDestinationViewModel::forget(const QString& hostPath)
{
    if (m_keys)
        m_keys->forget(hostPath);
}
