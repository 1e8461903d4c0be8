#include "gui/SettingsViewModel.h"

#include "analytics/UsageStatisticsChoice.h"
#include "app/AppViewModel.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/GearService.h"

SettingsViewModel::SettingsViewModel(AppViewModel& viewModel, Defaults& defaults, OptOut optOut,
                                     QObject* parent)
    : QObject(parent)
    , m_viewModel(viewModel)
    , m_defaults(defaults)
    , m_optOut(std::move(optOut))
    , m_selectedGear(storedInitialGear(defaults))
    , m_shareUsageStatistics(UsageStatisticsChoice::isShared(defaults))
{}

int SettingsViewModel::storedInitialGear(const Defaults& defaults)
{
    const qint64 stored = defaults.integerValue(SettingsKeys::initialVirtualGear());
    // A hand-edited value above the range would leave the picker without a selection.
    if (stored < GearService::minGear || stored > GearService::maxGear)
        return static_cast<int>(GearService::unsetInitialGear);
    return static_cast<int>(stored);
}

void SettingsViewModel::reload()
{
    const int gear = storedInitialGear(m_defaults);
    if (gear == m_selectedGear)
        return;
    m_selectedGear = gear;
    Q_EMIT selectedGearChanged(gear);
}

void SettingsViewModel::setSelectedGear(int gear)
{
    if (gear == m_selectedGear || gear < GearService::minGear || gear > GearService::maxGear)
        return;
    m_selectedGear = gear;
    m_defaults.setInteger(SettingsKeys::initialVirtualGear(), gear);
    m_viewModel.setInitialVirtualGear(gear);
    Q_EMIT selectedGearChanged(gear);
}

void SettingsViewModel::setShareUsageStatistics(bool share)
{
    if (share == m_shareUsageStatistics)
        return;
    m_shareUsageStatistics = share;
    UsageStatisticsChoice::store(m_defaults, share);
    if (m_optOut)
        m_optOut(!share);
    Q_EMIT shareUsageStatisticsChanged(share);
}
