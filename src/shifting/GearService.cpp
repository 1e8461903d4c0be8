#include "shifting/GearService.h"

#include "diagnostics/DebugLogService.h"
#include "shifting/UserDefaultsManager.h"

#include <limits>

GearService::GearService(UserDefaultsManager& storage, QObject* parent)
    : QObject(parent)
    , m_currentVirtualGear(storage.initialVirtualGear())
    , m_storage(storage)
{}

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

qint64 GearService::storedInitialGear() const
{
    return m_storage.initialVirtualGear();
}

void GearService::setInitialGear(qint64 gear)
{
    m_storage.setInitialVirtualGear(gear);
    setCurrentVirtualGear(m_storage.initialVirtualGear());
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
