#pragma once

#include "shifting/KeyboardAction.h"

#include <QMap>

// The mapping of one button: its action and how many key presses one press makes.
struct ButtonConfig
{
    KeyboardAction action = KeyboardAction::none;
    qint64 repeatCount = 1; // writers keep 1..10; a stored profile may hold anything

    bool operator==(const ButtonConfig&) const = default;
};

// Button number (1..4 are the Di2 buttons) to its mapping.
using ButtonConfigs = QMap<qint64, ButtonConfig>;

// 1: shift down, 2: shift up, 3 and 4: nothing; one press each.
const ButtonConfigs& defaultButtonConfigs();
