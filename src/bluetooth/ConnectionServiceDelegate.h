#pragma once

#include "bluetooth/ConnectionState.h"

// What the connection service tells the view model, on the GUI thread.
class ConnectionServiceDelegate
{
public:
    virtual ~ConnectionServiceDelegate() = default;
    virtual void didChangeConnectionState(const ConnectionState& state) = 0;
    virtual void didUpdateDeviceInfo(const Di2DeviceInfo& info) = 0;
    virtual void didLogMessage(const QString& text) = 0;
    virtual void didPressButtons(const QList<int>& buttons) = 0;
};
