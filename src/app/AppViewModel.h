#pragma once

#include "app/ConnectionAction.h"
#include "app/Log.h"
#include "app/ShiftLatency.h"
#include "platform/Clock.h"
#include "shifting/KeyboardAction.h"
#include "shifting/VirtualKey.h"

#include <QList>
#include <QObject>

class ConnectionService;
class GearService;
class KeyboardService;

// The one object the views talk to: routes presses to the key-press bridge, moves the
// virtual gear after each key sequence, stops the keys when the unit goes, and keeps
// the event log.
class AppViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isKeyboardEnabled READ isKeyboardEnabled WRITE setKeyboardEnabled NOTIFY
                   isKeyboardEnabledChanged)

public:
    static constexpr qsizetype logCap = 200;

    AppViewModel(ConnectionService& connectionService, KeyboardService& keyboardService,
                 GearService& gearService, QObject* parent = nullptr);
    ~AppViewModel() override;

    ConnectionService& connectionService() const { return m_connectionService; }
    KeyboardService& keyboardService() const { return m_keyboardService; }
    GearService& gearService() const { return m_gearService; }

    const QList<Log>& logs() const { return m_logs; }
    void addLog(const QString& message);
    void clearLogs();
    void setClock(Clock clock) { m_clock = std::move(clock); }

    void handleConnectionAction(const ConnectionAction& action);
    bool isKeyboardEnabled() const;
    void setKeyboardEnabled(bool enabled);
    void configureButtonAction(qint64 button, KeyboardAction action);
    void configureButtonRepeatCount(qint64 button, qint64 count);
    // The key a button's "Key" action presses.
    void configureButtonKey(qint64 button, VirtualKey key);
    void setInitialVirtualGear(qint64 gear);
    void resetButtonConfiguration();
    void disableAllButtons();

    // arrivalNs: when the value with the presses reached Cogwise (MonotonicTime), or 0.
    void didPressButtons(const QList<int>& buttons, qint64 arrivalNs = 0);
    const ShiftLatency& shiftLatency() const { return m_shiftLatency; }

public Q_SLOTS:
    // After each completed key sequence: moves the gear, then logs where it went.
    void keyboardServiceDidSimulate(KeyboardAction action, qint64 repeatCount, const QString& keyLabel);

Q_SIGNALS:
    void logsChanged();
    void logAdded(const Log& entry);
    void isKeyboardEnabledChanged(bool enabled);
    void shiftLatencyChanged();

private:
    ConnectionService& m_connectionService;
    KeyboardService& m_keyboardService;
    GearService& m_gearService;
    QList<Log> m_logs;
    ShiftLatency m_shiftLatency;
    Clock m_clock = systemNow;
};
