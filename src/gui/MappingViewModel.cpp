#include "gui/MappingViewModel.h"

#include "analytics/Analytics.h"
#include "app/AppViewModel.h"
#include "diagnostics/Logger.h"
#include "shifting/KeySink.h"
#include "shifting/KeyboardService.h"

#include <QDesktopServices>
#include <algorithm>

MappingViewModel::MappingViewModel(AppViewModel& viewModel, const KeySink& keySink, Analytics& analytics,
                                   QUrl permissionHelp, QObject* parent)
    : QObject(parent)
    , m_viewModel(viewModel)
    , m_keySink(keySink)
    , m_analytics(analytics)
    , m_permissionHelp(std::move(permissionHelp))
    , m_hasPermission(keySink.canPostKeys())
{
    connect(&viewModel, &AppViewModel::isKeyboardEnabledChanged, this,
            &MappingViewModel::isKeyboardEnabledChanged);
    connect(&viewModel.keyboardService(), &KeyboardService::buttonConfigsChanged, this,
            &MappingViewModel::buttonConfigsChanged);
    connect(&viewModel.keyboardService(), &KeyboardService::trainerAppChanged, this,
            &MappingViewModel::trainerAppChanged);
}

namespace {

QString unpickable()
{
    return QStringLiteral("That key cannot be sent: pick a letter, a digit, a punctuation key, Space, an "
                          "arrow or a function key.");
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
    setHasPermission(m_keySink.canPostKeys());
}

void MappingViewModel::pollPermission()
{
    const bool granted = m_keySink.canPostKeys();
    if (granted == m_hasPermission)
        return;
    if (granted)
        m_analytics.track(Analytics::TelemetrySignal::accessibilityPermissionGranted);
    setHasPermission(granted);
}

void MappingViewModel::setHasPermission(bool hasPermission)
{
    if (hasPermission == m_hasPermission)
        return;
    m_hasPermission = hasPermission;
    Q_EMIT hasPermissionChanged(hasPermission);
}

void MappingViewModel::openPermissionHelp()
{
    if (!m_permissionHelp.isValid()) {
        Logger::shared().logError(QStringLiteral("No help page on allowing key presses is installed"),
                                  QStringLiteral("MappingSection"));
        return;
    }
    if (!QDesktopServices::openUrl(m_permissionHelp))
        Logger::shared().logError(QStringLiteral("Could not open %1").arg(m_permissionHelp.toString()),
                                  QStringLiteral("MappingSection"));
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
