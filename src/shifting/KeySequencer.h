#pragma once

#include "shifting/KeySink.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

// Sends key presses one at a time on the GUI thread without ever blocking it: key down,
// hold, key up, pause, next. Sequences that arrive meanwhile wait their turn in order, and
// all of them wait while the desktop is asked to let Cogwise type: typed on a yes, dropped
// on anything else.
// A key that is down when the queue is cancelled or the sequencer goes away is released,
// so that the focused application never sees a key stuck down.
class KeySequencer : public QObject
{
    Q_OBJECT

public:
    static constexpr auto minHold = std::chrono::milliseconds{0};
    static constexpr auto maxHold = std::chrono::milliseconds{200};
    // Zero: down then up at once, as trainer apps have always been sent.
    static constexpr auto defaultHold = minHold;
    // Trainer apps miss keys that come closer together than about 20 ms.
    static constexpr auto minPause = std::chrono::milliseconds{20};
    static constexpr auto maxPause = std::chrono::milliseconds{500};
    static constexpr auto defaultPause = std::chrono::milliseconds{50};
    // Presses not yet started; at the longest hold and pause a stuck button types for
    // seconds, not minutes.
    static constexpr qsizetype maxQueuedPresses = 50;

    // Runs the sequencer's one pending step later. The real one is a single-shot QTimer;
    // tests drive a virtual clock.
    class Scheduler
    {
    public:
        virtual ~Scheduler() = default;
        // Replaces a step still pending.
        virtual void schedule(std::chrono::milliseconds delay, std::function<void()> step) = 0;
        virtual void cancel() = 0;
    };

    // `count` presses of one key. The hooks let the owner log and report in step with the
    // keys; none of them may enqueue or cancel.
    struct Sequence
    {
        VirtualKey key = VirtualKey::comma();
        qint64 count = 1;
        std::function<void()> started;              // before the first key down
        std::function<void(qint64 press)> pressing; // before each key down; press counts from 1
        std::function<void(qint64 press)> pressed;  // right after each key down went to the sink
        // After the last key up, or on a cancel after a press that did go out: how many
        // presses were sent, for the owner to report exactly those.
        std::function<void(qint64 sent)> finished;
    };

    // Lines are logged under the owner's category: the sequencer works on its behalf.
    KeySequencer(KeySink& keySink, QString logCategory, QObject* parent = nullptr);
    ~KeySequencer() override;

    // For tests; before the first sequence.
    void setScheduler(std::unique_ptr<Scheduler> scheduler);

    std::chrono::milliseconds holdTime() const { return m_hold; }
    void setHoldTime(std::chrono::milliseconds hold);
    std::chrono::milliseconds pauseBetweenPresses() const { return m_pause; }
    void setPauseBetweenPresses(std::chrono::milliseconds pause);

    // False, with a log line, when the sequence would take the queue past
    // maxQueuedPresses; then none of it is sent.
    bool enqueue(Sequence sequence);
    // Releases a key that is down and drops every press not yet started, with a log
    // line when there were any. Returns how many were dropped.
    qint64 cancel();

    qint64 queuedPresses() const;
    bool isIdle() const { return m_phase == Phase::idle; }
    bool isWaitingForConsent() const { return m_phase == Phase::waiting; }

Q_SIGNALS:
    // The last queued press is out and its pause is over, or the queue was dropped because
    // the desktop said no: nothing more will be typed.
    void drained();

private:
    enum class Phase { idle, holding, pausing, waiting };
    struct Entry
    {
        Sequence sequence;
        qint64 sent = 0;
        bool started = false;
    };

    void sendNext();
    void release();
    void finishFront();
    qint64 stop(bool reportPartial, const QString& why);
    void sinkChanged();
    void post(VirtualKey key, KeyDirection direction);

    KeySink& m_keySink;
    QString m_logCategory;
    std::unique_ptr<Scheduler> m_scheduler;
    std::chrono::milliseconds m_hold = defaultHold;
    std::chrono::milliseconds m_pause = defaultPause;
    std::deque<Entry> m_queue; // the front one is being sent
    std::optional<VirtualKey> m_down;
    Phase m_phase = Phase::idle;
};
