#include "di2/Di2Capture.h"

#include "di2/PrintableText.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <limits>

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

char16_t unit(char c)
{
    return static_cast<unsigned char>(c);
}

char16_t unit(QChar c)
{
    return c.unicode();
}

template<typename Text> bool isHex(const Text& text)
{
    for (const auto c : text) {
        if (hexValue(unit(c)) < 0)
            return false;
    }
    return !text.isEmpty();
}

// ASCII digits only, no sign; nothing when the number does not fit.
template<typename Text> std::optional<qint64> decimal(const Text& text)
{
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const auto c : text) {
        const char16_t u = unit(c);
        if (u < u'0' || u > u'9' || value > (std::numeric_limits<qint64>::max() - (u - u'0')) / 10)
            return std::nullopt;
        value = value * 10 + (u - u'0');
    }
    return value;
}

QString quoted(QStringView field)
{
    return QLatin1Char('"') + PrintableText::escaped(field) + QLatin1Char('"');
}

// A line's fields, each a view into the line.
template<typename Field>
std::variant<Di2CaptureRecord, QString> parseFields(const QList<Field>& fields, int lineNumber,
                                                    const auto& toText)
{
    const auto milliseconds = decimal(fields.at(0));
    if (!milliseconds)
        return QStringLiteral("bad time %1: expected milliseconds since the start")
            .arg(quoted(toText(fields.at(0))));
    if (*milliseconds > Di2Capture::longestCapture.count())
        return QStringLiteral("time %1 is beyond the longest capture, %2 ms (7 days)")
            .arg(*milliseconds)
            .arg(Di2Capture::longestCapture.count());
    if (fields.size() < 2)
        return QStringLiteral("missing characteristic identifier");
    const QString characteristic = toText(fields.at(1));
    if (characteristic.size() != 4 || !isHex(characteristic))
        return QStringLiteral("bad characteristic identifier %1: expected four hex digits, such as 2AC2")
            .arg(quoted(characteristic));
    if (fields.size() < 3)
        return QStringLiteral("missing value: hex bytes, or - for an empty value");

    QByteArray value;
    const bool empty = fields.size() == 3 && toText(fields.at(2)) == QLatin1String("-");
    if (!empty) {
        for (qsizetype i = 2; i < fields.size(); ++i) {
            const auto& group = fields.at(i);
            if (!isHex(group))
                return QStringLiteral("bad hex bytes %1").arg(quoted(toText(group)));
            if (group.size() % 2 != 0)
                return QStringLiteral("odd count of hex digits in %1").arg(quoted(toText(group)));
            for (qsizetype j = 0; j < group.size(); j += 2)
                value += char(hexValue(unit(group.at(j))) * 16 + hexValue(unit(group.at(j + 1))));
        }
    }
    return Di2CaptureRecord{lineNumber, *milliseconds, characteristic.toUpper(), value};
}

// Most lines are ASCII: split and read as bytes, without a detour through UTF-16.
std::variant<Di2CaptureRecord, QString> parseAsciiLine(QByteArrayView line, int lineNumber)
{
    QList<QByteArrayView> fields;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && isAsciiSpace(line.at(i)))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && !isAsciiSpace(line.at(i)))
            ++i;
        if (i > start)
            fields.append(line.sliced(start, i - start));
    }
    return parseFields(fields, lineNumber, [](QByteArrayView field) { return QString::fromLatin1(field); });
}

std::variant<Di2CaptureRecord, QString> parseTextLine(const QString& line, int lineNumber)
{
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    const QStringList fields = line.split(whitespace, Qt::SkipEmptyParts);
    return parseFields(fields, lineNumber, [](const QString& field) { return field; });
}

} // namespace

Di2Capture::Line Di2Capture::readLine(QByteArrayView rawLine)
{
    if (m_lineNumber == 0 && rawLine.startsWith("\xEF\xBB\xBF"))
        rawLine = rawLine.sliced(3);
    if (m_lineNumber == std::numeric_limits<int>::max())
        return Di2CaptureError{m_lineNumber, QStringLiteral("more lines than a capture can hold")};
    const int lineNumber = ++m_lineNumber;

    std::variant<Di2CaptureRecord, QString> parsed;
    if (std::all_of(rawLine.cbegin(), rawLine.cend(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        const QByteArrayView line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            return std::monostate();
        parsed = parseAsciiLine(line, lineNumber);
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = QString(decoder(rawLine)).trimmed();
        if (decoder.hasError())
            return Di2CaptureError{lineNumber, QStringLiteral("not valid UTF-8 text")};
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            return std::monostate();
        parsed = parseTextLine(line, lineNumber);
    }
    if (auto* problem = std::get_if<QString>(&parsed))
        return Di2CaptureError{lineNumber, *problem};
    auto& record = std::get<Di2CaptureRecord>(parsed);
    if (m_lastMilliseconds && record.milliseconds < *m_lastMilliseconds)
        return Di2CaptureError{lineNumber, QStringLiteral("time %1 is before the previous line's %2")
                                               .arg(record.milliseconds)
                                               .arg(*m_lastMilliseconds)};
    m_lastMilliseconds = record.milliseconds;
    return std::move(record);
}

Di2Capture::Result Di2Capture::parse(QByteArrayView text)
{
    Di2Capture capture;
    QList<Di2CaptureRecord> records;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        Line line = capture.readLine(text.sliced(start, end - start));
        start = end + 1;
        if (auto* error = std::get_if<Di2CaptureError>(&line))
            return std::move(*error);
        if (auto* record = std::get_if<Di2CaptureRecord>(&line))
            records.append(std::move(*record));
    }
    return records;
}
