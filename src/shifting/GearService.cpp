#include "shifting/GearService.h"

#include "diagnostics/DebugLogService.h"
#include "platform/Defaults.h"
#include "platform/SettingsKeys.h"
#include "shifting/UserDefaultsManager.h"

#include <limits>

GearService::GearService(UserDefaultsManager& storage, QObject* parent)
    : QObject(parent)
    , m_storage(storage)
{
    const qint64 stored = m_storage.defaults().integerValue(SettingsKeys::initialVirtualGear());
    setCurrentVirtualGear(stored < minGear ? unsetInitialGear : stored);
}

void GearService::setCurrentVirtualGear(qint64 gear)
{
    if (gear == m_currentVirtualGear)
        return;
    m_currentVirtualGear = gear;
    Q_EMIT currentVirtualGearChanged(gear);
}

void GearService::shiftUp(qint64 count)
{
    const qint64 previous = m_currentVirtualGear;
    // Saturates instead of overflowing for gears assigned from outside the range.
    qint64 target = 0;
    const bool overflow = __builtin_add_overflow(previous, count, &target);
    setCurrentVirtualGear(overflow || target >= maxGear ? maxGear : target);
    logShift(QStringLiteral("up"), count, previous);
}

void GearService::shiftDown(qint64 count)
{
    const qint64 previous = m_currentVirtualGear;
    qint64 target = 0;
    const bool overflow = __builtin_sub_overflow(previous, count, &target);
    setCurrentVirtualGear(overflow || target < minGear ? minGear : target);
    logShift(QStringLiteral("down"), count, previous);
}

void GearService::setInitialGear(qint64 gear)
{
    const qint64 clamped = std::max(std::min(gear, maxGear), minGear);
    m_storage.defaults().setInteger(SettingsKeys::initialVirtualGear(), clamped);
    setCurrentVirtualGear(clamped);
}

void GearService::logShift(const QString& direction, qint64 count, qint64 previous)
{
    DebugLogService::shared().log(
        QStringLiteral("Gear %1 by %2").arg(direction).arg(count), QStringLiteral("GearService"),
        DebugLogLevel::info,
        DebugLogDetails{{QStringLiteral("direction"), direction},
                        {QStringLiteral("shiftCount"), QString::number(count)},
                        {QStringLiteral("previousGear"), QString::number(previous)},
                        {QStringLiteral("newGear"), QString::number(m_currentVirtualGear)}});
}
