#include "shifting/keysinks/X11ConnectionLoss.h"

#include "diagnostics/Logger.h"

// X11 headers last: they define macros (None, Bool, Status) that clash with Qt's.
#include <X11/Xlib.h>

namespace {

// Xlib's own handler ends the process; this one only tells, and Xlib then calls the
// connection's exit handler below instead of exit().
int tellBrokenConnection(Display* display)
{
    Logger::shared().logError(QStringLiteral("The connection to the X display %1 broke")
                                  .arg(QString::fromLocal8Bit(DisplayString(display))),
                              QStringLiteral("X11ConnectionLoss"));
    return 0;
}

void markLost(Display*, void* lost)
{
    *static_cast<bool*>(lost) = true;
}

} // namespace

namespace X11ConnectionLoss {

void watch(_XDisplay* display, bool* lost)
{
    // Process-wide; connections nobody watches still end the process, as before.
    XSetIOErrorHandler(tellBrokenConnection);
    XSetIOErrorExitHandler(display, markLost, lost);
}

} // namespace X11ConnectionLoss
