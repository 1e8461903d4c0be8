#pragma once

#include "bluetooth/DiscoveredDevice.h"

// What the device screens ask the view model for.
struct ConnectionAction
{
    enum class Kind { connect, scanAgain, disconnect };
    Kind kind = Kind::scanAgain;
    DiscoveredDevice device; // for connect
};
