#include "diagnostics/LowPriorityPost.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

class WorkEvent final : public QEvent
{
public:
    explicit WorkEvent(std::function<void()> task)
        : QEvent(type())
        , work(std::move(task))
    {}

    static QEvent::Type type()
    {
        static const auto registered = QEvent::Type(QEvent::registerEventType());
        return registered;
    }

    std::function<void()> work;
};

} // namespace

void LowPriorityPost::post(QObject* receiver, std::function<void()> work)
{
    QCoreApplication::postEvent(receiver, new WorkEvent(std::move(work)), Qt::LowEventPriority);
}

bool LowPriorityPost::run(QEvent* event)
{
    if (event->type() != WorkEvent::type())
        return false;
    static_cast<WorkEvent*>(event)->work();
    return true;
}
