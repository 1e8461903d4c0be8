#include "gui/DeviceViewModel.h"

#include "app/AppViewModel.h"
#include "bluetooth/ConnectionService.h"
#include "gui/ViewRules.h"
#include "shifting/GearService.h"
#include "shifting/KeySink.h"

namespace {

const QString missingValue = QStringLiteral("\u2014");

} // namespace

DeviceViewModel::DeviceViewModel(AppViewModel& viewModel, const KeySink& keySink, QObject* parent)
    : QObject(parent)
    , m_viewModel(viewModel)
    , m_keySink(keySink)
    , m_keyProblem(keySink.unavailableReason().value_or(QString()))
{
    connect(&viewModel.connectionService(), &ConnectionService::deviceInfoChanged, this,
            &DeviceViewModel::rebuild);
    connect(&viewModel.gearService(), &GearService::currentVirtualGearChanged, this,
            &DeviceViewModel::rebuild);
    connect(&viewModel.connectionService(), &ConnectionService::connectionStateChanged, this,
            &DeviceViewModel::rebuild);
    connect(&viewModel, &AppViewModel::shiftLatencyChanged, this, &DeviceViewModel::shiftLatencyChanged);
    connect(&keySink, &KeySink::changed, this, &DeviceViewModel::rebuild);
    connect(&viewModel, &AppViewModel::isKeyboardEnabledChanged, this, &DeviceViewModel::rebuild);
}

bool DeviceViewModel::shiftKeysOff() const
{
    return canPostKeys() && !m_viewModel.isKeyboardEnabled();
}

void DeviceViewModel::sendShiftKeys()
{
    m_viewModel.setKeyboardEnabled(true);
}

QString DeviceViewModel::shiftLatency() const
{
    return m_viewModel.shiftLatency().text();
}

QString DeviceViewModel::keyDestination() const
{
    return m_keyProblem.isEmpty() ? m_keySink.destination() : QString();
}

QString DeviceViewModel::linkStatus() const
{
    return ViewRules::linkStatus(m_viewModel.connectionService().connectionState());
}

void DeviceViewModel::rebuild()
{
    m_keyProblem = m_keySink.unavailableReason().value_or(QString());
    Q_EMIT changed();
}

QString DeviceViewModel::modelNumber() const
{
    return m_viewModel.connectionService().deviceInfo().modelNumber.value_or(QString());
}

QString DeviceViewModel::title() const
{
    return m_viewModel.connectionService().deviceInfo().modelNumber.value_or(
        QStringLiteral("Unknown Device"));
}

QString DeviceViewModel::manufacturer() const
{
    return m_viewModel.connectionService().deviceInfo().manufacturerName.value_or(QStringLiteral("Shimano"));
}

int DeviceViewModel::batteryLevel() const
{
    return m_viewModel.connectionService().deviceInfo().batteryLevel.value_or(0);
}

QString DeviceViewModel::batteryIcon() const
{
    return ViewRules::battery(m_viewModel.connectionService().deviceInfo().batteryLevel).icon;
}

QString DeviceViewModel::batteryColor() const
{
    return ViewRules::battery(m_viewModel.connectionService().deviceInfo().batteryLevel).color;
}

QString DeviceViewModel::picture() const
{
    return ViewRules::devicePicture(m_viewModel.connectionService().deviceInfo().modelNumber);
}

QString DeviceViewModel::serialNumber() const
{
    return m_viewModel.connectionService().deviceInfo().serialNumber.value_or(missingValue);
}

QString DeviceViewModel::firmwareRevision() const
{
    return m_viewModel.connectionService().deviceInfo().firmwareRevision.value_or(missingValue);
}

int DeviceViewModel::frontGear() const
{
    return m_viewModel.connectionService().deviceInfo().frontDerailleur.value_or(1);
}

int DeviceViewModel::rearGear() const
{
    return m_viewModel.connectionService().deviceInfo().rearDerailleur.value_or(1);
}

int DeviceViewModel::maxRear() const
{
    return m_viewModel.connectionService().deviceInfo().maxRearDerailleur.value_or(12);
}

int DeviceViewModel::currentVirtualGear() const
{
    return static_cast<int>(m_viewModel.gearService().currentVirtualGear());
}

void DeviceViewModel::disconnectDevice()
{
    m_viewModel.handleConnectionAction(ConnectionAction{ConnectionAction::Kind::disconnect, {}});
}
