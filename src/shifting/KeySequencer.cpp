#include "shifting/KeySequencer.h"

#include "diagnostics/Logger.h"

#include <QTimer>
#include <algorithm>
#include <numeric>

namespace {

class TimerScheduler final : public KeySequencer::Scheduler
{
public:
    TimerScheduler()
    {
        m_timer.setSingleShot(true);
        // The default coarse timer may fire 5 % early, which would shorten a hold.
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { std::exchange(m_step, {})(); });
    }

    void schedule(std::chrono::milliseconds delay, std::function<void()> step) override
    {
        m_step = std::move(step);
        m_timer.start(delay);
    }
    void cancel() override
    {
        m_timer.stop();
        m_step = {};
    }

private:
    QTimer m_timer;
    std::function<void()> m_step;
};

} // namespace

KeySequencer::KeySequencer(KeySink& keySink, QString logCategory, QObject* parent)
    : QObject(parent)
    , m_keySink(keySink)
    , m_logCategory(std::move(logCategory))
    , m_scheduler(std::make_unique<TimerScheduler>())
{
    connect(&m_keySink, &KeySink::changed, this, &KeySequencer::sinkChanged);
}

KeySequencer::~KeySequencer()
{
    // The owner's hooks may already be gone: release and drop without reporting.
    stop(false, QStringLiteral("Key sequence stopped"));
}

void KeySequencer::setScheduler(std::unique_ptr<Scheduler> scheduler)
{
    m_scheduler->cancel();
    m_scheduler = std::move(scheduler);
}

void KeySequencer::setHoldTime(std::chrono::milliseconds hold)
{
    m_hold = std::clamp(hold, minHold, maxHold);
}

void KeySequencer::setPauseBetweenPresses(std::chrono::milliseconds pause)
{
    m_pause = std::clamp(pause, minPause, maxPause);
}

qint64 KeySequencer::queuedPresses() const
{
    return std::accumulate(m_queue.cbegin(), m_queue.cend(), qint64{0}, [](qint64 sum, const Entry& entry) {
        return sum + entry.sequence.count - entry.sent;
    });
}

bool KeySequencer::enqueue(Sequence sequence)
{
    sequence.count = std::max<qint64>(sequence.count, 0);
    const qint64 waiting = queuedPresses();
    if (waiting + sequence.count > maxQueuedPresses) {
        Logger::shared().logInfo(QStringLiteral("Key queue full with %1 presses waiting; presses dropped: %2")
                                     .arg(waiting)
                                     .arg(sequence.count),
                                 m_logCategory);
        return false;
    }
    m_queue.push_back(Entry{std::move(sequence)});
    if (m_phase == Phase::idle)
        sendNext();
    return true;
}

void KeySequencer::sendNext()
{
    while (!m_queue.empty()) {
        Entry& entry = m_queue.front();
        if (!entry.started) {
            entry.started = true;
            if (entry.sequence.started)
                entry.sequence.started();
        }
        if (entry.sent < entry.sequence.count) {
            if (m_keySink.awaitsConsent()) {
                m_phase = Phase::waiting;
                Logger::shared().logInfo(
                    QStringLiteral("Keys wait for the desktop's permission to type; presses queued: %1")
                        .arg(queuedPresses()),
                    m_logCategory);
                m_keySink.askConsent();
                return;
            }
            const qint64 press = ++entry.sent;
            const VirtualKey key = entry.sequence.key;
            if (entry.sequence.pressing)
                entry.sequence.pressing(press);
            m_down = key;
            post(key, KeyDirection::down);
            if (entry.sequence.pressed)
                entry.sequence.pressed(press);
            m_phase = Phase::holding;
            if (m_hold > std::chrono::milliseconds::zero())
                m_scheduler->schedule(m_hold, [this] { release(); });
            else
                release();
            return;
        }
        // Only a sequence of no presses gets here: it is reported without a key or a pause.
        finishFront();
    }
    m_phase = Phase::idle;
}

void KeySequencer::release()
{
    if (m_down)
        post(*std::exchange(m_down, std::nullopt), KeyDirection::up);
    const Entry& entry = m_queue.front();
    if (entry.sent == entry.sequence.count)
        finishFront();
    // Also after the queue's last press, so that one arriving just after keeps the spacing.
    m_phase = Phase::pausing;
    m_scheduler->schedule(m_pause, [this] {
        m_phase = Phase::idle;
        sendNext();
        if (m_phase == Phase::idle)
            Q_EMIT drained();
    });
}

void KeySequencer::finishFront()
{
    Entry entry = std::move(m_queue.front());
    m_queue.pop_front();
    if (entry.sequence.finished)
        entry.sequence.finished(entry.sent);
}

void KeySequencer::sinkChanged()
{
    if (m_phase != Phase::waiting || m_keySink.awaitsConsent())
        return;
    if (m_keySink.consent() == KeySink::Consent::granted) {
        m_phase = Phase::idle;
        sendNext();
    } else {
        // The answer was no, or another sink took over: the presses were meant for a moment now past.
        stop(true, QStringLiteral("The desktop did not let Cogwise type keys"));
    }
    if (m_phase == Phase::idle)
        Q_EMIT drained();
}

qint64 KeySequencer::cancel()
{
    return stop(true, QStringLiteral("Key sequence stopped"));
}

qint64 KeySequencer::stop(bool reportPartial, const QString& why)
{
    m_scheduler->cancel();
    m_phase = Phase::idle;
    if (m_down)
        post(*std::exchange(m_down, std::nullopt), KeyDirection::up);
    if (m_queue.empty())
        return 0;
    const qint64 dropped = queuedPresses();
    std::deque<Entry> entries = std::exchange(m_queue, {});
    // The gear follows the keys that went out, also of a sequence cut short.
    const Entry& front = entries.front();
    if (reportPartial && front.sent > 0 && front.sequence.finished)
        front.sequence.finished(front.sent);
    Logger::shared().logInfo(QStringLiteral("%1; queued presses dropped: %2").arg(why).arg(dropped),
                             m_logCategory);
    return dropped;
}

void KeySequencer::post(VirtualKey key, KeyDirection direction)
{
    if (m_keySink.post(key, direction))
        return;
    Logger::shared().logError(
        QStringLiteral("Could not post key %1 %2 through %3: %4")
            .arg(key.code())
            .arg(direction == KeyDirection::down ? QStringLiteral("down") : QStringLiteral("up"))
            .arg(m_keySink.name(), m_keySink.lastError()),
        m_logCategory);
}
