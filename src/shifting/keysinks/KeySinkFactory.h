#pragma once

#include "shifting/KeySink.h"

#include <memory>

// Picks the key sink: COGWISE_KEY_SINK=uinput|xtest|none forces one; otherwise
// the first that can post now, uinput before XTest; a null sink saying why when none can.
namespace KeySinkFactory {

struct Choice
{
    std::unique_ptr<KeySink> sink;
    // Why this sink, for the rider: it follows "Keys are typed through ...:".
    QString reason;
};

Choice choose();

} // namespace KeySinkFactory
