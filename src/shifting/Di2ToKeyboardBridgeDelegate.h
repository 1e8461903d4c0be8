#pragma once

#include "shifting/KeyboardAction.h"

// Told, in a queued task after the last key event, what a press sequence performed.
// Not owned by the bridge: a delegate that goes first clears itself from the bridge.
class Di2ToKeyboardBridgeDelegate
{
public:
    virtual ~Di2ToKeyboardBridgeDelegate() = default;
    virtual void keyboardBridgeDidSimulate(KeyboardAction action, qint64 repeatCount) = 0;
};
