#pragma once

#include "shifting/KeySink.h"

// Used when no way of posting keys is available, or when typing is switched off on
// purpose; says why. Switched off, it drops the keys without calling that a failure.
class NullKeySink final : public KeySink
{
public:
    enum class Mode { unavailable, switchedOff };

    explicit NullKeySink(QString reason, Mode mode = Mode::unavailable)
        : m_reason(std::move(reason))
        , m_mode(mode)
    {}

    QString name() const override { return QStringLiteral("none"); }
    std::optional<QString> unavailableReason() const override { return m_reason; }
    bool post(VirtualKey, KeyDirection) override { return m_mode == Mode::switchedOff || fail(m_reason); }

private:
    QString m_reason;
    Mode m_mode;
};
