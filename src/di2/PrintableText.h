#pragma once

#include <QString>

// Text that came from a device or a file, made safe to print on one line of a terminal:
// control characters (C0, DEL, C1, among them ESC and CSI) are written as \xHH, so that
// nothing read from outside can move the cursor, change colours or ring the bell.
namespace PrintableText {

QString escaped(QStringView text);

} // namespace PrintableText
