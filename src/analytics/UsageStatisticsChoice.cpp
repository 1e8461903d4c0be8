#include "analytics/UsageStatisticsChoice.h"

#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"

bool UsageStatisticsChoice::isDecided(const Defaults& defaults)
{
    return defaults.contains(SettingsKeys::analyticsOptOut()) ||
           defaults.boolValue(SettingsKeys::hasCompletedOnboarding());
}

bool UsageStatisticsChoice::isShared(const Defaults& defaults)
{
    return isDecided(defaults) && !defaults.boolValue(SettingsKeys::analyticsOptOut());
}

void UsageStatisticsChoice::store(Defaults& defaults, bool share)
{
    defaults.setBool(SettingsKeys::analyticsOptOut(), !share);
}
