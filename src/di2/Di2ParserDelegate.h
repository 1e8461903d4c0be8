#pragma once

#include "di2/Di2Channel.h"
#include "di2/Di2Status.h"

#include <QList>

// Receives what the parser decodes. Each call arrives in its own queued task on the
// GUI thread. The parser does not own its delegate: a delegate that goes away
// first clears itself with Di2Parser::setDelegate(nullptr).
class Di2ParserDelegate
{
public:
    virtual ~Di2ParserDelegate() = default;

    virtual void didReceiveStatus(const Di2Status& status) = 0;
    // Called for every channel packet, also when no button was pressed.
    virtual void didReceiveChannel(const QList<int>& pressedButtons, const Di2Channel& channel) = 0;
    // level: 0..100
    virtual void didUpdateBatteryLevel(int level) = 0;
};
