#pragma once

#include "shifting/KeyboardAction.h"
#include "shifting/VirtualKey.h"

#include <QMap>

// The mapping of one button: its action and how many key presses one press makes.
struct ButtonConfig
{
    static constexpr qint64 minRepeatCount = 1;
    static constexpr qint64 maxRepeatCount = 10;
    // The one rule for a count, for edits and for stored profiles alike (a hand-edited one may
    // hold any number): 0 and below press once, above 10 ten times.
    static qint64 clampedRepeatCount(qint64 count) { return qBound(minRepeatCount, count, maxRepeatCount); }

    ButtonConfig() = default;
    ButtonConfig(KeyboardAction action_, qint64 repeatCount_, std::optional<VirtualKey> key_ = std::nullopt)
        : action(action_)
        , repeatCount(repeatCount_)
        , key(key_)
    {}

    KeyboardAction action = KeyboardAction::none;
    qint64 repeatCount = 1;
    // What the `key` action presses; none until the rider picks one.
    std::optional<VirtualKey> key;

    bool operator==(const ButtonConfig&) const = default;
};

// The buttons a Di2 unit reports, numbered 1..4. A stored profile may map other numbers too.
namespace Di2Buttons {
constexpr qint64 first = 1;
constexpr qint64 last = 4;
} // namespace Di2Buttons

// Button number to its mapping.
using ButtonConfigs = QMap<qint64, ButtonConfig>;

// 1: shift down, 2: shift up, 3 and 4: nothing; one press each.
const ButtonConfigs& defaultButtonConfigs();
