#pragma once

#include <functional>

class QEvent;
class QObject;

// Work for a receiver's thread that waits for the work already posted there: posted with
// Qt::LowEventPriority, it runs after every event of normal priority in that thread's queue,
// those posted after it included. Pending work is dropped with its receiver.
namespace LowPriorityPost {

void post(QObject* receiver, std::function<void()> work);
// For the receiver's event(): runs the work if the event carries some; whether it did.
bool run(QEvent* event);

} // namespace LowPriorityPost
