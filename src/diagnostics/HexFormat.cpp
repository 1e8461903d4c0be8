#include "diagnostics/HexFormat.h"

#include <QStringList>

namespace HexFormat {

QString value(unsigned value)
{
    return QString::number(value, 16).toUpper();
}

QString dump(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

QString decimalList(QByteArrayView bytes)
{
    QStringList values;
    for (char byte : bytes)
        values.append(QString::number(static_cast<quint8>(byte)));
    return QLatin1Char('[') + values.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace HexFormat
