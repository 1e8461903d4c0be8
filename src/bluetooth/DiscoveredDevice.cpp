#include "bluetooth/DiscoveredDevice.h"

#include <QRegularExpression>

bool DiscoveredDevice::isDi2Name(const QString& name)
{
    static const QStringList prefixes{
        QStringLiteral("RDR9150"), QStringLiteral("RDR9170"), QStringLiteral("RDR8050"),
        QStringLiteral("RDR8070"), QStringLiteral("RDR7150"), QStringLiteral("RDR7170"),
        QStringLiteral("RDR8150"), QStringLiteral("RDR8170"), QStringLiteral("EW"),
        QStringLiteral("BT-DN"),   QStringLiteral("SM")};
    static const QStringList codes{QStringLiteral("R9150"), QStringLiteral("R9170"), QStringLiteral("R8050"),
                                   QStringLiteral("R8070"), QStringLiteral("R7150"), QStringLiteral("R7170"),
                                   QStringLiteral("R8150"), QStringLiteral("R8170")};
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}]+"));

    const QString n = name.trimmed().toUpper();
    for (const QString& prefix : prefixes) {
        if (n.startsWith(prefix))
            return true;
    }
    const QStringList tokens = n.split(separators, Qt::SkipEmptyParts);
    return std::any_of(tokens.cbegin(), tokens.cend(),
                       [](const QString& token) { return codes.contains(token); });
}
