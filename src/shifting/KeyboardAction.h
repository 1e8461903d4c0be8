#pragma once

#include <QList>
#include <QString>
#include <optional>

// What a Di2 button does. Stored by its raw value. The shifts press the trainer app's keys;
// `key` presses a key the rider picked for that button.
enum class KeyboardAction { shiftUp, shiftDown, key, none };

namespace KeyboardActions {

// In declaration order.
const QList<KeyboardAction>& all();

QString rawValue(KeyboardAction action);
QString displayName(KeyboardAction action);
std::optional<KeyboardAction> fromRawValue(const QString& rawValue);

} // namespace KeyboardActions
