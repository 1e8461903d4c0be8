#include "diagnostics/HexFormat.h"

namespace HexFormat {

QString value(unsigned value)
{
    return QString::number(value, 16).toUpper();
}

QString dump(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

} // namespace HexFormat
