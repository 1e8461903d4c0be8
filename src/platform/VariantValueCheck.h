#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// QSettings decodes "@Variant(…)" and "@DateTime(…)" values with QDataStream, which trusts the
// lengths and element counts written in them: a forged count makes Qt reserve gigabytes, a deep
// nesting overflows its stack, before the store sees the value. This reads a settings file's text
// as QSettings will and refuses each such value whose declared lengths cannot fit in the bytes it
// holds, or whose type it cannot bound. A refused value reads as "@Invalid()", as a damaged one
// does, and its text is kept beside it under "<key>.corrupt" in the same rewrite, so that it is
// never lost, not even to a crash before the store writes.
class VariantValueCheck
{
public:
    struct Refused
    {
        QString key;       // with its group, as QSettings names it: "group/key"
        QString text;      // the value as the file spelled it
        QString keptUnder; // "<key>.corrupt", or "<key>.corrupt.2"… when that name is taken
    };

    // The file's text with every refused value replaced; the same text when none is refused.
    // A kept text is what QSettings reads of it: bytes that are not UTF-8 become U+FFFD there.
    static QByteArray checked(const QByteArray& fileText, QList<Refused>* refused);
};
