#include "analytics/UsageStatisticsChoice.h"

#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"

bool UsageStatisticsChoice::isShared(const Defaults& defaults)
{
    return !defaults.boolValue(SettingsKeys::analyticsOptOut());
}

void UsageStatisticsChoice::store(Defaults& defaults, bool share)
{
    defaults.setBool(SettingsKeys::analyticsOptOut(), !share);
}
