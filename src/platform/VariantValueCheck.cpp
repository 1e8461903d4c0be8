#include "platform/VariantValueCheck.h"

#include <QMetaType>
#include <QSet>
#include <QStringDecoder>
#include <QtEndian>
#include <algorithm>
#include <optional>
#include <utility>

namespace {

// QDataStream reads nested containers by recursion without a limit: deeper ones are refused.
constexpr int maxNesting = 32;
// A QString or QByteArray of this length is a null one, with no bytes after it.
constexpr quint32 nullBlock = 0xffffffff;
// "@Variant(" values are streams of version Qt_4_0, "@DateTime(" ones of Qt_5_6.
constexpr QLatin1StringView variantPrefix("@Variant(");
constexpr QLatin1StringView dateTimePrefix("@DateTime(");

// Walks a QVariant's stream as QVariant::load reads it, allocating nothing.
class StreamWalk
{
public:
    StreamWalk(QByteArrayView bytes, bool qt4)
        : m_bytes(bytes)
        , m_qt4(qt4)
    {}

    bool variant(int depth)
    {
        const auto type = number();
        if (!type || depth > maxNesting)
            return false;
        // Qt 4 numbered its extended core types (short, float…) from 128.
        const quint32 id = m_qt4 && *type >= 128 ? *type - 97 : *type;
        // Streams since Qt 4.2 follow the type with a null flag.
        if (!m_qt4 && !skip(1))
            return false;
        return value(id, depth);
    }

private:
    bool skip(qint64 count)
    {
        if (m_bytes.size() - m_at < count)
            return false;
        m_at += count;
        return true;
    }

    std::optional<quint32> number()
    {
        if (m_bytes.size() - m_at < 4)
            return std::nullopt;
        const auto value = qFromBigEndian<quint32>(m_bytes.data() + m_at);
        m_at += 4;
        return value;
    }

    // A QString or a QByteArray: its length in bytes, then those bytes.
    bool block()
    {
        const auto length = number();
        return length && (*length == nullBlock || skip(*length));
    }

    // Every element takes at least four bytes, so a forged count ends the walk at the bytes' end.
    template<typename Element> bool elements(Element element)
    {
        const auto count = number();
        if (!count)
            return false;
        for (quint32 i = 0; i < *count; ++i) {
            if (!element())
                return false;
        }
        return true;
    }

    bool value(quint32 type, int depth)
    {
        switch (type) {
        case QMetaType::UnknownType:
            // Qt 4 streams follow an invalid variant with a string.
            return !m_qt4 || block();
        case QMetaType::Bool:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            return skip(1);
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::QChar:
            return skip(2);
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::QTime:
            return skip(4);
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::QSize:
        case QMetaType::QPoint:
            return skip(8);
        case QMetaType::Float: // single precision before Qt 4.6
        case QMetaType::QDate: // a 32-bit day number before Qt 5
            return skip(m_qt4 ? 4 : 8);
        case QMetaType::QDateTime:
            return m_qt4 ? skip(9) : dateTime();
        case QMetaType::QRect:
        case QMetaType::QLine:
        case QMetaType::QSizeF:
        case QMetaType::QPointF:
        case QMetaType::QUuid:
            return skip(16);
        case QMetaType::QRectF:
        case QMetaType::QLineF:
            return skip(32);
        case QMetaType::QString:
        case QMetaType::QByteArray:
            return block();
        case QMetaType::QStringList:
        case QMetaType::QByteArrayList:
            return elements([this] { return block(); });
        case QMetaType::QVariantList:
            return elements([this, depth] { return variant(depth + 1); });
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash:
            return elements([this, depth] { return block() && variant(depth + 1); });
        default:
            // User types, GUI types and the rest: nothing here can tell what they read.
            return false;
        }
    }

    // Day (64 bits), milliseconds (32), the kind of time (8), then its UTC offset or time zone.
    bool dateTime()
    {
        if (!skip(12) || m_bytes.size() - m_at < 1)
            return false;
        // Any byte may stand there: it is compared as a number, never taken for a Qt::TimeSpec.
        const int kind = m_bytes[m_at++];
        if (kind == int(Qt::OffsetFromUTC))
            return skip(4);
        if (kind != int(Qt::TimeZone))
            return true;
        // A zone is its IANA name, unless that name is "OffsetFromUtc": a zone of its own making
        // follows then as name, offset, long name, abbreviation, territory and comment.
        const qint64 nameAt = m_at;
        if (!block())
            return false;
        if (m_bytes.sliced(nameAt, m_at - nameAt) != ownZoneName())
            return true;
        return block() && skip(4) && block() && block() && skip(4) && block();
    }

    static QByteArray ownZoneName()
    {
        const QString name = QStringLiteral("OffsetFromUtc");
        QByteArray bytes(4 + 2 * name.size(), Qt::Uninitialized);
        qToBigEndian<quint32>(quint32(2 * name.size()), bytes.data());
        for (qsizetype i = 0; i < name.size(); ++i)
            qToBigEndian<quint16>(name.at(i).unicode(), bytes.data() + 4 + 2 * i);
        return bytes;
    }

    QByteArrayView m_bytes;
    qint64 m_at = 0;
    bool m_qt4;
};

// Whether QSettings would decode the text as a stream, and if so whether the stream fits.
bool streamFits(QStringView text)
{
    const bool qt4 = text.startsWith(variantPrefix);
    if (!qt4 && !text.startsWith(dateTimePrefix))
        return true;
    if (!text.endsWith(QLatin1Char(')')))
        return true;
    const qsizetype prefix = qt4 ? variantPrefix.size() : dateTimePrefix.size();
    // The closing parenthesis is not the stream's: a stream that needs it does not fit.
    const QByteArray bytes = text.sliced(prefix, text.size() - prefix - 1).toLatin1();
    return StreamWalk(bytes, qt4).variant(0);
}

bool isIniSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One logical line of an INI file, split as QSettings splits it: quotes carry it over line
// breaks, a backslash escapes the next byte, and an unquoted ';' ends it.
struct IniLine
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype equals = -1;
};

std::optional<IniLine> nextLine(QByteArrayView data, qsizetype& at)
{
    IniLine line;
    line.start = at;
    while (line.start < data.size() && isIniSpace(data[line.start]))
        ++line.start;
    bool quoted = false;
    qsizetype i = line.start;
    while (i < data.size()) {
        const char c = data[i++];
        if (c == '=') {
            if (!quoted && line.equals < 0)
                line.equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (!quoted) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < data.size()) {
                const char escaped = data[i++];
                if (i < data.size() &&
                    ((escaped == '\n' && data[i] == '\r') || (escaped == '\r' && data[i] == '\n')))
                    ++i;
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';') {
            if (i == line.start + 1) {
                // A comment line: the logical line starts after it.
                while (i < data.size() && data[i] != '\n' && data[i] != '\r')
                    ++i;
                while (i < data.size() && isIniSpace(data[i]))
                    ++i;
                line.start = i;
            } else if (!quoted) {
                --i;
                break;
            }
        }
    }
    at = i;
    line.end = i;
    return line.end > line.start ? std::optional(line) : std::nullopt;
}

void chopSpaces(QString& text)
{
    while (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('\t')))
        text.chop(1);
}

// A value's text as QSettings unescapes it: one string, or several where unquoted commas part it.
// Trailing blanks are cut even where QSettings keeps escaped ones, which can only make a
// value look like a stream that QSettings takes for text: such a value is checked too.
QStringList unescapedValue(QByteArrayView raw)
{
    QStringList parts;
    QString part;
    // One decoder for the whole value, as QSettings has: a byte that is not UTF-8 before an
    // escape turns into a replacement character after it, taking the next byte along.
    QStringDecoder toText(QStringDecoder::Utf8);
    bool quoted = false;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
    };
    const auto digitValue = [](char c, int base) {
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : base;
        return value < base ? value : -1;
    };
    // "\x" takes every hex digit that follows, "\0" every octal one; a QChar keeps the low 16 bits.
    const auto numericEscape = [&](int base, quint32 value) {
        while (i < raw.size() && digitValue(raw[i], base) >= 0)
            value = value * quint32(base) + quint32(digitValue(raw[i++], base));
        part += QChar(char16_t(value & 0xffff));
    };
    skipBlanks();
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '\\') {
            if (++i >= raw.size())
                break;
            const char code = raw[i++];
            static const QByteArrayView plain("abfnrtv\"?'\\");
            static const QByteArrayView meant("\a\b\f\n\r\t\v\"?'\\");
            if (const qsizetype k = plain.indexOf(code); k >= 0)
                part += QLatin1Char(meant[k]);
            else if (code == 'x' && i < raw.size() && digitValue(raw[i], 16) >= 0)
                numericEscape(16, 0);
            else if (code >= '0' && code <= '7')
                numericEscape(8, quint32(code - '0'));
            else if ((code == '\n' || code == '\r') && i < raw.size() && (raw[i] == '\n' || raw[i] == '\r') &&
                     raw[i] != code)
                ++i;
        } else if (c == '"') {
            ++i;
            quoted = !quoted;
            if (!quoted)
                skipBlanks();
        } else if (c == ',' && !quoted) {
            chopSpaces(part);
            parts.append(std::exchange(part, QString()));
            ++i;
            skipBlanks();
        } else {
            qsizetype j = i + 1;
            while (j < raw.size() && raw[j] != '\\' && raw[j] != '"' && raw[j] != ',')
                ++j;
            part += QString(toText(raw.sliced(i, j - i)));
            i = j;
        }
    }
    chopSpaces(part);
    parts.append(part);
    return parts;
}

// A key or group name as QSettings reads it: UTF-8, where a backslash is "/", and "%XX" and "%UXXXX"
// are characters.
QString unescapedKey(QByteArrayView raw)
{
    const QString text = QString::fromUtf8(raw);
    QString key;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == QLatin1Char('\\')) {
            key += QLatin1Char('/');
            ++i;
            continue;
        }
        const bool escape = text[i] == QLatin1Char('%') && i + 1 < text.size();
        const bool wide = escape && text[i + 1] == QLatin1Char('U');
        const qsizetype digits = wide ? 4 : 2;
        const qsizetype from = i + (wide ? 2 : 1);
        bool ok = false;
        const int code =
            escape && from + digits <= text.size() ? text.sliced(from, digits).toInt(&ok, 16) : 0;
        if (ok) {
            key += QChar(char16_t(code));
            i = from + digits;
        } else {
            key += text[i++];
        }
    }
    return key;
}

// The text as a quoted INI string that QSettings reads back as exactly that text: "@@" keeps
// a leading "@" from being taken for a type.
QByteArray quotedText(QByteArrayView text)
{
    QByteArray quoted = text.startsWith('@') ? "\"@" : "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        if (c == '\n')
            quoted += "\\n";
        else if (c == '\r')
            quoted += "\\r";
        else
            quoted += c;
    }
    quoted += '"';
    return quoted;
}

struct Finding
{
    IniLine line;
    QByteArrayView rawKey;
    QString key;
};

} // namespace

QByteArray VariantValueCheck::checked(const QByteArray& fileText, QList<Refused>* refused)
{
    QByteArrayView data(fileText);
    // QSettings skips a UTF-8 byte order mark.
    const qsizetype bom = data.startsWith("\xef\xbb\xbf") ? 3 : 0;
    data = data.sliced(bom);

    QSet<QString> keys;
    QList<Finding> findings;
    QString group;
    qsizetype at = 0;
    while (const auto line = nextLine(data, at)) {
        const QByteArrayView text = data.sliced(line->start, line->end - line->start);
        if (text.startsWith('[')) {
            const qsizetype close = text.indexOf(']');
            const QByteArrayView name = text.sliced(1, (close < 0 ? text.size() : close) - 1).trimmed();
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                group.clear();
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                group = QString::fromLatin1(name.sliced(1)) + QLatin1Char('/');
            else
                group = unescapedKey(name) + QLatin1Char('/');
            continue;
        }
        if (line->equals < 0)
            continue;
        const QByteArrayView rawKey = data.sliced(line->start, line->equals - line->start).trimmed();
        const QString key = group + unescapedKey(rawKey);
        keys.insert(key);
        const QStringList parts = unescapedValue(data.sliced(line->equals + 1, line->end - line->equals - 1));
        if (!std::all_of(parts.cbegin(), parts.cend(), streamFits))
            findings.append({*line, rawKey, key});
    }
    if (findings.isEmpty())
        return fileText;

    QByteArray result = fileText.first(bom);
    qsizetype copied = 0;
    for (const Finding& finding : findings) {
        QString keptUnder = finding.key + QStringLiteral(".corrupt");
        QByteArray rawKeptUnder = finding.rawKey.toByteArray() + ".corrupt";
        for (int n = 2; keys.contains(keptUnder); ++n) {
            keptUnder = finding.key + QStringLiteral(".corrupt.") + QString::number(n);
            rawKeptUnder = finding.rawKey.toByteArray() + ".corrupt." + QByteArray::number(n);
        }
        keys.insert(keptUnder);
        const qsizetype valueStart = finding.line.equals + 1;
        const QByteArrayView text = data.sliced(valueStart, finding.line.end - valueStart).trimmed();
        const QString kept = QString::fromUtf8(text);
        refused->append({finding.key, kept, keptUnder});
        result += data.sliced(copied, valueStart - copied);
        result += "@Invalid()\n" + rawKeptUnder + '=' + quotedText(kept.toUtf8());
        copied = finding.line.end;
    }
    result += data.sliced(copied);
    return result;
}
