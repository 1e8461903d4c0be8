#include "gui/MappingViewModel.h"

#include "analytics/Analytics.h"
#include "app/AppViewModel.h"
#include "diagnostics/Logger.h"
#include "shifting/KeySink.h"
#include "shifting/KeySinkNames.h"
#include "shifting/KeyboardService.h"

#include <QDir>
#include <algorithm>

MappingViewModel::MappingViewModel(AppViewModel& viewModel, KeySink& keySink, Analytics& analytics,
                                   QUrl permissionHelp, QString keySinkReason, QObject* parent)
    : QObject(parent)
    , m_viewModel(viewModel)
    , m_keySink(keySink)
    , m_chosenSink(keySink.name())
    , m_keySinkReason(std::move(keySinkReason))
    , m_analytics(analytics)
    , m_permissionHelp(std::move(permissionHelp))
    , m_runner([this](const QString& program, const QStringList& arguments, ExternalProgram::Done done) {
        ExternalProgram::run(*this, program, arguments, std::move(done));
    })
{
    testPermission();
    // The desktop's answer is a real change, as one seen by the poll is.
    connect(&keySink, &KeySink::changed, this, &MappingViewModel::pollPermission);
    connect(&viewModel, &AppViewModel::isKeyboardEnabledChanged, this, [this](bool enabled) {
        testPermission();
        Q_EMIT isKeyboardEnabledChanged(enabled);
    });
    connect(&viewModel.keyboardService(), &KeyboardService::buttonConfigsChanged, this,
            &MappingViewModel::buttonConfigsChanged);
    connect(&viewModel.keyboardService(), &KeyboardService::trainerAppChanged, this,
            &MappingViewModel::trainerAppChanged);
}

namespace {

QString unpickable()
{
    return QStringLiteral("That key cannot be sent: pick a letter, a digit, a punctuation key, Space, an "
                          "arrow, a function key or a keypad key (with Num Lock on).");
}

} // namespace

QString MappingViewModel::subtitle() const
{
    const TrainerApp& app = m_viewModel.keyboardService().trainerApp();
    return QStringLiteral("Configure what each Di2 button does in %1")
        .arg(app.isCustom() ? QStringLiteral("your trainer app") : app.name);
}

QStringList MappingViewModel::trainerAppNames() const
{
    QStringList names;
    for (const TrainerApp& app : TrainerApp::all())
        names.append(app.name);
    return names;
}

int MappingViewModel::trainerAppIndex() const
{
    const QString id = m_viewModel.keyboardService().trainerApp().id;
    const auto& apps = TrainerApp::all();
    for (qsizetype i = 0; i < apps.size(); ++i) {
        if (apps.at(i).id == id)
            return static_cast<int>(i);
    }
    return 0;
}

void MappingViewModel::setTrainerAppIndex(int index)
{
    const auto& apps = TrainerApp::all();
    if (index < 0 || index >= apps.size())
        return;
    m_viewModel.keyboardService().setTrainerApp(apps.at(index));
}

bool MappingViewModel::isCustomTrainerApp() const
{
    return m_viewModel.keyboardService().trainerApp().isCustom();
}

QString MappingViewModel::trainerAppWhere() const
{
    return m_viewModel.keyboardService().trainerApp().whereItRuns;
}

QString MappingViewModel::trainerAppNote() const
{
    return m_viewModel.keyboardService().trainerApp().note;
}

QString MappingViewModel::shiftUpKeyLabel() const
{
    return m_viewModel.keyboardService().shiftKey(KeyboardAction::shiftUp).label();
}

QString MappingViewModel::shiftDownKeyLabel() const
{
    return m_viewModel.keyboardService().shiftKey(KeyboardAction::shiftDown).label();
}

bool MappingViewModel::hasKey(int button) const
{
    return config(button).action == KeyboardAction::key;
}

QString MappingViewModel::keyLabel(int button) const
{
    const auto key = config(button).key;
    return key ? key->label() : QString();
}

QString MappingViewModel::pickButtonKey(int button, int qtKey)
{
    const auto key = VirtualKey::fromQtKey(qtKey);
    if (!key)
        return unpickable();
    if (config(button).key != key)
        m_viewModel.configureButtonKey(button, *key);
    return {};
}

QString MappingViewModel::pickShiftKey(bool shiftUp, int qtKey)
{
    const auto key = VirtualKey::fromQtKey(qtKey);
    if (!key)
        return unpickable();
    m_viewModel.keyboardService().setCustomShiftKey(
        shiftUp ? KeyboardAction::shiftUp : KeyboardAction::shiftDown, *key);
    return {};
}

bool MappingViewModel::isKeyboardEnabled() const
{
    return m_viewModel.isKeyboardEnabled();
}

void MappingViewModel::setKeyboardEnabled(bool enabled)
{
    m_viewModel.setKeyboardEnabled(enabled);
}

QStringList MappingViewModel::actionNames() const
{
    QStringList names;
    for (KeyboardAction action : KeyboardActions::all())
        names.append(KeyboardActions::displayName(action));
    return names;
}

int MappingViewModel::permissionPollMilliseconds() const
{
    return static_cast<int>(std::chrono::milliseconds(permissionPollInterval).count());
}

void MappingViewModel::refreshPermission()
{
    testPermission();
}

void MappingViewModel::pollPermission()
{
    const bool had = m_hasPermission;
    if (testPermission() && !had)
        m_analytics.track(Analytics::TelemetrySignal::accessibilityPermissionGranted);
}

bool MappingViewModel::testPermission()
{
    const std::optional<QString> reason = m_keySink.unavailableReason();
    const QString through = QStringLiteral("Shift keys go to the app in front through %1")
                                .arg(KeySinkNames::described(m_keySink.name()));
    // "it reaches every window…" reads on from "through …:".
    const QString why = m_keySinkReason.isEmpty() || m_keySink.name() != m_chosenSink
                            ? QStringLiteral(".")
                            : QStringLiteral(": ") + m_keySinkReason;
    QString title =
        reason ? QStringLiteral("Cogwise cannot type keys") : QStringLiteral("Cogwise can type keys");
    QString text = reason ? *reason : through + why;
    // Keys for another device: the card says which one takes them, and who decides the characters.
    if (!reason && !m_keySink.destination().isEmpty())
        text = m_keySink.destination() +
               QStringLiteral(". That device's keyboard layout decides which character each key types.");
    const bool switchedOn = m_viewModel.isKeyboardEnabled();
    // A green card while the switch is off would promise shifts that no app receives.
    if (!reason && !switchedOn) {
        title = QStringLiteral("Shift keys are off");
        text = QStringLiteral("Your shifts reach no app until you switch on \u201cSend shift keys\u201d. ") +
               (m_keySink.consent() == KeySink::Consent::notAsked
                    ? QStringLiteral("Cogwise then asks the desktop to let it type keys.")
                    : QStringLiteral("Cogwise then types them through %1.")
                          .arg(KeySinkNames::described(m_keySink.name())));
    }
    switch (m_keySink.consent()) {
    case KeySink::Consent::notAsked:
        if (switchedOn)
            text = through + QStringLiteral(" once you allow it.");
        break;
    case KeySink::Consent::asking:
        title = QStringLiteral("Cogwise asks to type keys");
        text =
            QStringLiteral("Answer the desktop's dialog to let Cogwise type keys; shifts wait until then.");
        break;
    default:
        break;
    }
    const bool canAskAgain = m_keySink.canAskAgain();
    if (text != m_permissionText || title != m_permissionTitle || canAskAgain != m_canAskAgain) {
        m_permissionText = text;
        m_permissionTitle = title;
        m_canAskAgain = canAskAgain;
        Q_EMIT permissionTextChanged();
    }
    // While the desktop's dialog is open the rider has something to do.
    const bool allowed = !reason && m_keySink.consent() != KeySink::Consent::asking;
    if (allowed != m_hasPermission) {
        m_hasPermission = allowed;
        Q_EMIT hasPermissionChanged(m_hasPermission);
    }
    const bool reach = allowed && switchedOn;
    if (reach != m_keysReachApp) {
        m_keysReachApp = reach;
        Q_EMIT keysReachAppChanged(reach);
    }
    return m_hasPermission;
}

QString MappingViewModel::permissionTitle() const
{
    return m_permissionTitle;
}

void MappingViewModel::askAgain()
{
    m_keySink.askConsent();
}

void MappingViewModel::openPermissionHelp()
{
    const auto fail = [this](const QString& what, const QString& advice) {
        Logger::shared().logError(what, QStringLiteral("MappingSection"));
        Q_EMIT failed(what + QStringLiteral(". ") + advice);
    };
    if (!m_permissionHelp.isLocalFile()) {
        fail(QStringLiteral("No help page on allowing key presses is installed"),
             QStringLiteral("The section \u201cLetting Cogwise type keys\u201d of Cogwise's README explains "
                            "what to do."));
        return;
    }
    const QString page = m_permissionHelp.toLocalFile();
    m_runner(QStringLiteral("xdg-open"), {page}, [fail, page](std::optional<QString> error) {
        if (!error)
            return;
        fail(QStringLiteral("Could not open %1: %2").arg(QDir::toNativeSeparators(page), *error),
             QStringLiteral(
                 "Open that file in a text editor: its section \u201cLetting Cogwise type keys\u201d "
                 "explains what to do."));
    });
}

ButtonConfig MappingViewModel::config(int button) const
{
    return m_viewModel.keyboardService().buttonConfigs().value(button, ButtonConfig{KeyboardAction::none, 1});
}

int MappingViewModel::actionIndex(int button) const
{
    return static_cast<int>(KeyboardActions::all().indexOf(config(button).action));
}

int MappingViewModel::repeatCount(int button) const
{
    return static_cast<int>(config(button).repeatCount);
}

bool MappingViewModel::hasRepeat(int button) const
{
    return config(button).action != KeyboardAction::none;
}

void MappingViewModel::setAction(int button, int actionIndex)
{
    const auto& actions = KeyboardActions::all();
    if (actionIndex < 0 || actionIndex >= actions.size() || actionIndex == this->actionIndex(button))
        return;
    m_viewModel.configureButtonAction(button, actions.at(actionIndex));
}

void MappingViewModel::setRepeatCount(int button, int count)
{
    const int clamped =
        std::clamp(count, int(ButtonConfig::minRepeatCount), int(ButtonConfig::maxRepeatCount));
    if (clamped == repeatCount(button))
        return;
    m_viewModel.configureButtonRepeatCount(button, clamped);
}

void MappingViewModel::resetToDefaults()
{
    m_viewModel.resetButtonConfiguration();
}

void MappingViewModel::disableAll()
{
    m_viewModel.disableAllButtons();
}
