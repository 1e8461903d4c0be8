#pragma once

#include "gui/KeyDestinationViewModel.h"
#include "gui/SetupCheckViewModel.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <functional>

class AppViewModel;
class Defaults;
class KeyDestinationSwitch;
class SetupCheck;

// The Settings section: the initial virtual gear, the keys, the usage-statistics choice and the
// setup check.
class SettingsViewModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    Q_PROPERTY(int selectedGear READ selectedGear WRITE setSelectedGear NOTIFY selectedGearChanged)
    // Milliseconds each key is held, and between the presses of a repeat.
    Q_PROPERTY(int keyHold READ keyHold WRITE setKeyHold NOTIFY keyTimingChanged)
    Q_PROPERTY(int keyPause READ keyPause WRITE setKeyPause NOTIFY keyTimingChanged)
    // 0: the key that types the character, 1: the physical key.
    Q_PROPERTY(int keyMatchingIndex READ keyMatchingIndex WRITE setKeyMatchingIndex NOTIFY keyMatchingChanged)
    Q_PROPERTY(QStringList keyMatchingNames READ keyMatchingNames CONSTANT)
    // Why the last choice could not be taken; empty when it was.
    Q_PROPERTY(QString keyMatchingProblem READ keyMatchingProblem NOTIFY keyMatchingChanged)
    Q_PROPERTY(bool shareUsageStatistics READ shareUsageStatistics WRITE setShareUsageStatistics NOTIFY
                   shareUsageStatisticsChanged)
    Q_PROPERTY(SetupCheckViewModel* setupCheck READ setupCheck CONSTANT)
    Q_PROPERTY(KeyDestinationViewModel* keyDestination READ keyDestination CONSTANT)

public:
    // Where the analytics client's opt-out is switched.
    using OptOut = std::function<void(bool analyticsDisabled)>;

    // `keys` is null when the key sink cannot switch where keys go.
    SettingsViewModel(AppViewModel& viewModel, Defaults& defaults, SetupCheck& setupCheck, OptOut optOut,
                      KeyDestinationSwitch* keys = nullptr, QObject* parent = nullptr);

    int selectedGear() const { return m_selectedGear; }
    void setSelectedGear(int gear);
    bool shareUsageStatistics() const { return m_shareUsageStatistics; }
    void setShareUsageStatistics(bool share);
    int keyHold() const;
    void setKeyHold(int milliseconds);
    int keyPause() const;
    void setKeyPause(int milliseconds);
    int keyMatchingIndex() const;
    void setKeyMatchingIndex(int index);
    QStringList keyMatchingNames() const;
    QString keyMatchingProblem() const { return m_keyMatchingProblem; }
    SetupCheckViewModel* setupCheck() { return &m_setupCheck; }
    KeyDestinationViewModel* keyDestination() { return &m_keyDestination; }

    // The page is built anew each time it opens: it starts from the stored gear.
    Q_INVOKABLE void reload();

Q_SIGNALS:
    void selectedGearChanged(int gear);
    void shareUsageStatisticsChanged(bool share);
    void keyTimingChanged();
    void keyMatchingChanged();

private:
    AppViewModel& m_viewModel;
    Defaults& m_defaults; // the usage-statistics choice; the gear is the gear service's
    OptOut m_optOut;
    int m_selectedGear;
    bool m_shareUsageStatistics;
    QString m_keyMatchingProblem;
    SetupCheckViewModel m_setupCheck;
    KeyDestinationViewModel m_keyDestination;
};
