#pragma once

#include "shifting/KeySequencer.h"

#include <QStringList>

// The sequencer's waits on a virtual clock that moves only when the test says so.
// Each wait is noted as "wait 50" in the list handed in, beside the keys.
class ManualScheduler final : public KeySequencer::Scheduler
{
public:
    explicit ManualScheduler(QStringList* events = nullptr)
        : m_events(events)
    {}

    void schedule(std::chrono::milliseconds delay, std::function<void()> step) override
    {
        if (m_events)
            m_events->append(QStringLiteral("wait %1").arg(delay.count()));
        m_delay = delay;
        m_step = std::move(step);
    }
    void cancel() override { m_step = {}; }

    bool isPending() const { return bool(m_step); }
    qint64 now() const { return m_now; }

    // Moves the clock to the pending step and runs it; false when none was pending.
    bool advance()
    {
        if (!m_step)
            return false;
        m_now += m_delay.count();
        std::exchange(m_step, {})();
        return true;
    }

private:
    QStringList* m_events;
    std::function<void()> m_step;
    std::chrono::milliseconds m_delay{0};
    qint64 m_now = 0;
};
