#include "bluetooth/ConnectionState.h"

QString ConnectionState::description() const
{
    struct Describe
    {
        QString operator()(const Found& f) const
        {
            return QStringLiteral("found(%1, %2)")
                .arg(f.devices.size())
                .arg(f.activeScanning ? QStringLiteral("scanning") : QStringLiteral("stopped"));
        }
        QString operator()(const Connecting& c) const
        {
            return QStringLiteral("connecting(%1)").arg(c.name.value_or(QString()));
        }
        QString operator()(const Connected& c) const
        {
            return QStringLiteral("connected(%1)").arg(c.device.modelNumber.value_or(QString()));
        }
        QString operator()(const Waiting& w) const { return QStringLiteral("waiting(%1)").arg(w.name); }
        QString operator()(const Disconnected& d) const
        {
            return QStringLiteral("disconnected(%1)").arg(d.error.value_or(QString()));
        }
        QString operator()(Simple s) const
        {
            switch (s) {
            case Simple::idle:
                return QStringLiteral("idle");
            case Simple::scanning:
                return QStringLiteral("scanning");
            case Simple::bluetoothOff:
                return QStringLiteral("bluetoothOff");
            case Simple::bluetoothUnauthorized:
                return QStringLiteral("bluetoothUnauthorized");
            }
            return {};
        }
    };
    return std::visit(Describe{}, m_value);
}
