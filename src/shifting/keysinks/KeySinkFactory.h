#pragma once

#include "shifting/KeySink.h"

#include <QProcessEnvironment>
#include <functional>
#include <memory>

class Defaults;

// Picks the key sink: COGWISE_KEY_SINK=uinput|xtest|portal|bluetooth|none forces one; keys sent
// to a device paired over Bluetooth (the "keysTo" setting) go through the Bluetooth keyboard. Otherwise, in
// an X11 session XTest, then uinput; in a Wayland session uinput where the rider set it up, then the
// desktop's remote-desktop portal (XTest taking over for XWayland windows should the desktop say no), then
// XTest; elsewhere uinput. A null sink saying why when none can type.
namespace KeySinkFactory {

struct Choice
{
    std::unique_ptr<KeySink> sink;
    // Why this sink, for the rider: it follows "Keys are typed through ...:".
    QString reason;
};

// Unless COGWISE_KEY_SINK names a sink of this computer, a KeyDestinationSwitch, so that where keys
// go can change while Cogwise runs. `settings`, which must outlive the sink, keeps the portal's restore
// token and where keys go. `isDi2Unit` tells the rider's
// unit from the Bluetooth keyboard's hosts on the same adapter.
Choice choose(Defaults& settings,
              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
              std::function<bool(const QString& address)> isDi2Unit = {});

} // namespace KeySinkFactory
