#pragma once

#include "shifting/KeyboardAction.h"

// Told after each completed key-press sequence; the view model moves the gear.
class KeyboardServiceDelegate
{
public:
    virtual ~KeyboardServiceDelegate() = default;
    virtual void keyboardServiceDidSimulate(KeyboardAction action, qint64 repeatCount) = 0;
};
