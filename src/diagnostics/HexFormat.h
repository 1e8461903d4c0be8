#pragma once

#include <QByteArrayView>
#include <QString>

namespace HexFormat {

// One value in upper-case hexadecimal without leading zeros: 0x0A gives "A".
QString value(unsigned value);

// Each byte as two upper-case digits, joined with one space: "0A 00 01".
QString dump(QByteArrayView bytes);

// The byte values in decimal, in brackets: "[1, 100, 0]".
QString decimalList(QByteArrayView bytes);

} // namespace HexFormat
