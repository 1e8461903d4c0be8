#include "gui/ScanViewModel.h"

#include "app/AppViewModel.h"
#include "bluetooth/ConnectionService.h"

#include <QMetaEnum>

namespace {

template<class... Ts> struct Overloaded : Ts...
{
    using Ts::operator()...;
};

} // namespace

ScanViewModel::ScanViewModel(AppViewModel& viewModel, DeviceListModel::AddressOf addressOf, QObject* parent)
    : QObject(parent)
    , m_viewModel(viewModel)
    , m_devices(std::move(addressOf))
{
    ConnectionService& service = viewModel.connectionService();
    connect(&service, &ConnectionService::connectionStateChanged, this, &ScanViewModel::show);
    connect(&service, &ConnectionService::notADi2Unit, this, &ScanViewModel::setNotice);
    show(service.connectionState());
}

void ScanViewModel::show(const ConnectionState& state)
{
    Panel panel = Panel::bluetoothRequired;
    QString errorText;
    QString connectingName;
    bool activeScanning = false;
    std::visit(Overloaded{
                   [&](const ConnectionState::Found& found) {
                       panel = Panel::found;
                       activeScanning = found.activeScanning;
                       m_devices.setDevices(found.devices);
                   },
                   [&](const ConnectionState::Connecting& connecting) {
                       panel = Panel::connecting;
                       connectingName = connecting.name.value_or(QStringLiteral("device"));
                   },
                   [&](const ConnectionState::Connected&) { panel = Panel::connected; },
                   [&](const ConnectionState::Waiting& waiting) {
                       panel = Panel::waiting;
                       connectingName = waiting.name;
                   },
                   [&](const ConnectionState::Disconnected& disconnected) {
                       panel = disconnected.error ? Panel::failed : Panel::readyToScan;
                       errorText = disconnected.error.value_or(QString());
                   },
                   [&](ConnectionState::Simple simple) {
                       panel = simple == ConnectionState::Simple::scanning ? Panel::scanning
                                                                           : Panel::bluetoothRequired;
                   },
               },
               state.value());
    if (panel == Panel::connected)
        setNotice({});
    // The failure is read before anything else shows; a connection ends it anyway.
    if (m_holdingFailure && panel != Panel::connected && panel != Panel::failed)
        return;
    m_holdingFailure = panel == Panel::failed;
    if (panel == m_panel && errorText == m_errorText && connectingName == m_connectingName &&
        activeScanning == m_activeScanning)
        return;
    m_panel = panel;
    m_errorText = errorText;
    m_connectingName = connectingName;
    m_activeScanning = activeScanning;
    Q_EMIT changed();
}

QString ScanViewModel::panelName() const
{
    return QString::fromLatin1(QMetaEnum::fromType<Panel>().valueToKey(static_cast<int>(m_panel)));
}

void ScanViewModel::setNotice(const QString& notice)
{
    if (std::exchange(m_notice, notice) != notice)
        Q_EMIT changed();
}

void ScanViewModel::scanAgain()
{
    setNotice({});
    // The failure gives way to what the link shows now, unless that is still the failure itself,
    // which would hold it again: then to the scan about to start.
    if (std::exchange(m_holdingFailure, false)) {
        const ConnectionState& now = m_viewModel.connectionService().connectionState();
        const auto* ended = now.as<ConnectionState::Disconnected>();
        if (!ended || !ended->error)
            show(now);
    }
    m_viewModel.handleConnectionAction(ConnectionAction{ConnectionAction::Kind::scanAgain, {}});
}

void ScanViewModel::connectDevice(int row)
{
    m_holdingFailure = false;
    setNotice({});
    const auto& devices = m_devices.devices();
    if (row < 0 || row >= devices.size())
        return; // the list changed under the click
    m_viewModel.handleConnectionAction(ConnectionAction{ConnectionAction::Kind::connect, devices.at(row)});
}
