#include "diagnostics/QueuedWork.h"

#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"

#include <QCoreApplication>

namespace QueuedWork {

void settle(Logger& logger, DebugLogService& debugLog)
{
    quint64 appended = 0;
    do {
        appended = debugLog.appendedCount();
        QCoreApplication::sendPostedEvents();
        logger.flush();
        QCoreApplication::sendPostedEvents();
    } while (debugLog.appendedCount() != appended);
}

} // namespace QueuedWork
