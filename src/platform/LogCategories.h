#pragma once

#include <QLoggingCategory>
#include <QString>

// The system log's categories: one per subsystem, all below "cogwise", so that one
// subsystem's debug lines can be turned on alone (QT_LOGGING_RULES="cogwise.bluetooth.debug=true")
// or every one ("cogwise*.debug=true"). Debug lines are off unless asked for.
namespace LogCategories {

// Lines that name no source.
const QLoggingCategory& general();
// The subsystem of a line's source, by the name the debug log shows ("DI2Parser").
const QLoggingCategory& forSource(const QString& source);

} // namespace LogCategories
