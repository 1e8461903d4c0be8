#pragma once

#include <QMap>
#include <QString>
#include <optional>

// Adds parameters to every signal as it is built; called on the sender's thread.
class SignalEnricher
{
public:
    virtual ~SignalEnricher() = default;
    virtual QMap<QString, QString> enrich(const QString& signalType,
                                          const std::optional<QString>& customUserID,
                                          std::optional<double> floatValue) = 0;
};
