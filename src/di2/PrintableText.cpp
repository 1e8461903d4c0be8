#include "di2/PrintableText.h"

namespace PrintableText {

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

QString escaped(QStringView text)
{
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return isControl(c.unicode()); }))
        return text.toString();
    QString result;
    result.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            result += QStringLiteral("\\x") +
                      QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

} // namespace PrintableText
