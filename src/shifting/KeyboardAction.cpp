#include "shifting/KeyboardAction.h"

namespace KeyboardActions {

const QList<KeyboardAction>& all()
{
    static const QList<KeyboardAction> actions{KeyboardAction::shiftUp, KeyboardAction::shiftDown,
                                               KeyboardAction::key, KeyboardAction::none};
    return actions;
}

QString rawValue(KeyboardAction action)
{
    switch (action) {
    case KeyboardAction::shiftUp:
        return QStringLiteral("shift_up");
    case KeyboardAction::shiftDown:
        return QStringLiteral("shift_down");
    case KeyboardAction::key:
        return QStringLiteral("key");
    case KeyboardAction::none:
        return QStringLiteral("none");
    }
    return {};
}

QString displayName(KeyboardAction action)
{
    switch (action) {
    case KeyboardAction::shiftUp:
        return QStringLiteral("Shift Up");
    case KeyboardAction::shiftDown:
        return QStringLiteral("Shift Down");
    case KeyboardAction::key:
        return QStringLiteral("Key");
    case KeyboardAction::none:
        return QStringLiteral("None");
    }
    return {};
}

std::optional<KeyboardAction> fromRawValue(const QString& raw)
{
    for (KeyboardAction action : all()) {
        if (rawValue(action) == raw)
            return action;
    }
    return std::nullopt;
}

} // namespace KeyboardActions
