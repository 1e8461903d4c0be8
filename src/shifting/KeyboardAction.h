#pragma once

#include <QList>
#include <QString>
#include <optional>

// What a Di2 button does. Stored by its raw value.
enum class KeyboardAction { shiftUp, shiftDown, none };

namespace KeyboardActions {

// In declaration order.
const QList<KeyboardAction>& all();

QString rawValue(KeyboardAction action);
QString displayName(KeyboardAction action);
std::optional<KeyboardAction> fromRawValue(const QString& rawValue);

} // namespace KeyboardActions
