#pragma once

#include "gui/ExternalProgram.h"
#include "shifting/ButtonConfig.h"

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <chrono>

class Analytics;
class AppViewModel;
class KeySink;

// The Mapping section: the emulation switch, the key-posting permission card and the
// four button rows.
class MappingViewModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    Q_PROPERTY(bool isKeyboardEnabled READ isKeyboardEnabled WRITE setKeyboardEnabled NOTIFY
                   isKeyboardEnabledChanged)
    Q_PROPERTY(bool hasPermission READ hasPermission NOTIFY hasPermissionChanged)
    // Shifts are typed: the switch is on and the key sink can post keys.
    Q_PROPERTY(bool keysReachApp READ keysReachApp NOTIFY keysReachAppChanged)
    // What the permission card says: whether Cogwise can type keys, and how, or why not and the fix.
    Q_PROPERTY(QString permissionTitle READ permissionTitle NOTIFY permissionTextChanged)
    Q_PROPERTY(QString permissionText READ permissionText NOTIFY permissionTextChanged)
    // The desktop said no, and asking it again may change that.
    Q_PROPERTY(bool canAskAgain READ canAskAgain NOTIFY permissionTextChanged)
    Q_PROPERTY(QStringList actionNames READ actionNames CONSTANT)
    Q_PROPERTY(int permissionPollMilliseconds READ permissionPollMilliseconds CONSTANT)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY trainerAppChanged)
    Q_PROPERTY(QStringList trainerAppNames READ trainerAppNames CONSTANT)
    Q_PROPERTY(int trainerAppIndex READ trainerAppIndex WRITE setTrainerAppIndex NOTIFY trainerAppChanged)
    Q_PROPERTY(bool isCustomTrainerApp READ isCustomTrainerApp NOTIFY trainerAppChanged)
    // Where the chosen app runs and how Cogwise reaches it; what to know about its keys, or empty.
    Q_PROPERTY(QString trainerAppWhere READ trainerAppWhere NOTIFY trainerAppChanged)
    Q_PROPERTY(QString trainerAppNote READ trainerAppNote NOTIFY trainerAppChanged)
    Q_PROPERTY(QString shiftUpKeyLabel READ shiftUpKeyLabel NOTIFY trainerAppChanged)
    Q_PROPERTY(QString shiftDownKeyLabel READ shiftDownKeyLabel NOTIFY trainerAppChanged)

public:
    // How often the page asks again whether keys can be posted.
    static constexpr auto permissionPollInterval = std::chrono::seconds{5};

    // `keySinkReason`: why Cogwise types through that sink.
    MappingViewModel(AppViewModel& viewModel, KeySink& keySink, Analytics& analytics, QUrl permissionHelp,
                     QString keySinkReason = {}, QObject* parent = nullptr);

    bool isKeyboardEnabled() const;
    void setKeyboardEnabled(bool enabled);
    bool hasPermission() const { return m_hasPermission; }
    bool keysReachApp() const { return m_keysReachApp; }
    QString permissionTitle() const;
    QString permissionText() const { return m_permissionText; }
    bool canAskAgain() const { return m_canAskAgain; }
    // How the help page is opened; ExternalProgram::run unless a test says otherwise.
    void setRunner(ExternalProgram::Runner runner) { m_runner = std::move(runner); }
    QStringList actionNames() const;
    int permissionPollMilliseconds() const;
    QString subtitle() const;
    QStringList trainerAppNames() const;
    int trainerAppIndex() const;
    void setTrainerAppIndex(int index);
    bool isCustomTrainerApp() const;
    QString trainerAppWhere() const;
    QString trainerAppNote() const;
    // The keys the shifts press now.
    QString shiftUpKeyLabel() const;
    QString shiftDownKeyLabel() const;

    // A page shown anew starts from a fresh test, without telling analytics.
    Q_INVOKABLE void refreshPermission();
    // One tick of the page's poll.
    Q_INVOKABLE void pollPermission();
    Q_INVOKABLE void openPermissionHelp();
    // The desktop shows its dialog again.
    Q_INVOKABLE void askAgain();

    // Index into actionNames; a button without a configuration reads as "None".
    Q_INVOKABLE int actionIndex(int button) const;
    Q_INVOKABLE int repeatCount(int button) const;
    // Whether the row shows its repeat stepper.
    Q_INVOKABLE bool hasRepeat(int button) const;
    Q_INVOKABLE void setAction(int button, int actionIndex);
    Q_INVOKABLE void setRepeatCount(int button, int count);
    // Whether the row picks a key: its action is "Key".
    Q_INVOKABLE bool hasKey(int button) const;
    // Empty until the rider picked one.
    Q_INVOKABLE QString keyLabel(int button) const;
    // A key pressed in the window (Qt's key code) becomes the button's key, or the key Custom
    // presses for a shift up or down. Empty when taken; otherwise why the key cannot be sent.
    Q_INVOKABLE QString pickButtonKey(int button, int qtKey);
    Q_INVOKABLE QString pickShiftKey(bool shiftUp, int qtKey);
    Q_INVOKABLE void resetToDefaults();
    Q_INVOKABLE void disableAll();

Q_SIGNALS:
    void isKeyboardEnabledChanged(bool enabled);
    void hasPermissionChanged(bool hasPermission);
    void keysReachAppChanged(bool keysReachApp);
    void permissionTextChanged();
    // The help page could not be shown: what happened and what to do, for the window.
    void failed(const QString& message);
    void buttonConfigsChanged();
    void trainerAppChanged();

private:
    // Asks the key sink again; true when keys can be posted now.
    bool testPermission();
    // The button's mapping; a button without one does nothing, once.
    ButtonConfig config(int button) const;

    AppViewModel& m_viewModel;
    KeySink& m_keySink;
    // The reason is the chosen sink's; another that took over since has none.
    QString m_chosenSink;
    QString m_keySinkReason;
    Analytics& m_analytics;
    QUrl m_permissionHelp;
    bool m_hasPermission = false;
    bool m_keysReachApp = false;
    QString m_permissionText;
    QString m_permissionTitle;
    bool m_canAskAgain = false;
    ExternalProgram::Runner m_runner;
};
