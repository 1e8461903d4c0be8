#include "telemetry/TelemetryPresets.h"

#include "telemetry/TelemetryManager.h"

namespace TelemetryPresets {

void userRatingSubmitted(TelemetryManager& manager, int rating, const QString& comment)
{
    if (rating < 0 || rating > 10) {
        if (const auto& handler = manager.configuration().logHandler)
            handler->log(LogHandler::LogLevel::error, QStringLiteral("Rating must be between 0 and 10"));
        return;
    }
    QMap<QString, QString> parameters{{Parameter::ratingValue(), QString::number(rating)}};
    if (!comment.isEmpty())
        parameters.insert(Parameter::ratingComment(), comment);
    manager.presetSignal(Signal::userRatingSubmitted(), parameters);
}

} // namespace TelemetryPresets
