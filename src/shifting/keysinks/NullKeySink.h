#pragma once

#include "shifting/KeySink.h"

// Used when no way of posting keys is available; says why.
class NullKeySink final : public KeySink
{
public:
    explicit NullKeySink(QString reason)
        : m_reason(std::move(reason))
    {}

    QString name() const override { return QStringLiteral("none"); }
    std::optional<QString> unavailableReason() const override { return m_reason; }
    bool post(VirtualKey, KeyDirection) override { return fail(m_reason); }

private:
    QString m_reason;
};
