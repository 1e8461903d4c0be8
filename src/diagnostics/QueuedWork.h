#pragma once

class DebugLogService;
class Logger;

namespace QueuedWork {

// Runs the GUI thread's queued tasks and the logger's pending lines until neither
// produces anything more, so that every effect of what was started has landed.
// For tools and tests on the GUI thread; the application itself never waits.
void settle(Logger& logger, DebugLogService& debugLog);

} // namespace QueuedWork
