#pragma once

#include <QObject>

class UserDefaultsManager;

// The virtual gear the trainer application is assumed to be in, counted from the
// shift keys Cogwise has sent. Starts each launch at the chosen initial gear.
class GearService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(qint64 currentVirtualGear READ currentVirtualGear WRITE setCurrentVirtualGear NOTIFY
                   currentVirtualGearChanged)

public:
    static constexpr qint64 minGear = 1;
    static constexpr qint64 maxGear = 27;

    explicit GearService(UserDefaultsManager& storage, QObject* parent = nullptr);

    qint64 currentVirtualGear() const { return m_currentVirtualGear; }
    void setCurrentVirtualGear(qint64 gear);

    void shiftUp(qint64 count);
    void shiftDown(qint64 count);
    // The gear each launch starts in, as the store reads it; nothing is written.
    qint64 storedInitialGear() const;
    // Stores the gear (clamped into the range) and moves to it.
    void setInitialGear(qint64 gear);

Q_SIGNALS:
    void currentVirtualGearChanged(qint64 gear);

private:
    void logShift(const QString& direction, qint64 count, qint64 previous);

    qint64 m_currentVirtualGear;
    UserDefaultsManager& m_storage;
};
