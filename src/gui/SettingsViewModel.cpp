#include "gui/SettingsViewModel.h"

#include "analytics/UsageStatisticsChoice.h"
#include "app/AppViewModel.h"
#include "shifting/GearService.h"
#include "shifting/KeyboardService.h"

SettingsViewModel::SettingsViewModel(AppViewModel& viewModel, Defaults& defaults, SetupCheck& setupCheck,
                                     OptOut optOut, KeyDestinationSwitch* keys, QObject* parent)
    : QObject(parent)
    , m_viewModel(viewModel)
    , m_defaults(defaults)
    , m_optOut(std::move(optOut))
    , m_selectedGear(static_cast<int>(viewModel.gearService().storedInitialGear()))
    , m_shareUsageStatistics(UsageStatisticsChoice::isShared(defaults))
    , m_setupCheck(setupCheck)
    , m_keyDestination(keys, defaults)
{
    // Another sink may match keys its own way.
    connect(&m_keyDestination, &KeyDestinationViewModel::destinationChanged, this,
            &SettingsViewModel::keyMatchingChanged);
}

void SettingsViewModel::reload()
{
    const int gear = static_cast<int>(m_viewModel.gearService().storedInitialGear());
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
    m_viewModel.setInitialVirtualGear(gear);
    Q_EMIT selectedGearChanged(gear);
}

void SettingsViewModel::setShareUsageStatistics(bool share)
{
    const bool changed = share != m_shareUsageStatistics;
    // Until a choice is stored, also the one the switch shows already is news to keep.
    if (!changed && UsageStatisticsChoice::isDecided(m_defaults))
        return;
    m_shareUsageStatistics = share;
    UsageStatisticsChoice::store(m_defaults, share);
    if (!changed)
        return;
    if (m_optOut)
        m_optOut(!share);
    Q_EMIT shareUsageStatisticsChanged(share);
}

int SettingsViewModel::keyHold() const
{
    return static_cast<int>(m_viewModel.keyboardService().keyHold().count());
}

void SettingsViewModel::setKeyHold(int milliseconds)
{
    const int before = keyHold();
    m_viewModel.keyboardService().setKeyHold(std::chrono::milliseconds{milliseconds});
    if (keyHold() != before)
        Q_EMIT keyTimingChanged();
}

int SettingsViewModel::keyPause() const
{
    return static_cast<int>(m_viewModel.keyboardService().keyPause().count());
}

void SettingsViewModel::setKeyPause(int milliseconds)
{
    const int before = keyPause();
    m_viewModel.keyboardService().setKeyPause(std::chrono::milliseconds{milliseconds});
    if (keyPause() != before)
        Q_EMIT keyTimingChanged();
}

int SettingsViewModel::keyMatchingIndex() const
{
    return m_viewModel.keyboardService().keyMatching() == KeyMatching::character ? 0 : 1;
}

QStringList SettingsViewModel::keyMatchingNames() const
{
    return {QStringLiteral("Send the key that types this character"),
            QStringLiteral("Send the physical key")};
}

void SettingsViewModel::setKeyMatchingIndex(int index)
{
    if (index < 0 || index > 1)
        return;
    const KeyMatching matching = index == 0 ? KeyMatching::character : KeyMatching::physicalKey;
    const QString problem = m_viewModel.keyboardService().setKeyMatching(matching).value_or(QString());
    // Also a refused choice is told, so that the picker goes back to what holds.
    m_keyMatchingProblem = problem;
    Q_EMIT keyMatchingChanged();
}
