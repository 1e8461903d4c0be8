#include "di2/Di2Capture.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace {

bool isHex(QStringView text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')))
            return false;
    }
    return !text.isEmpty();
}

// The record of one non-blank, non-comment line, or what is wrong with it.
std::variant<Di2CaptureRecord, QString> parseLine(const QString& line, int lineNumber)
{
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    const QStringList fields = line.split(whitespace, Qt::SkipEmptyParts);

    bool ok = false;
    const qint64 milliseconds = fields.at(0).toLongLong(&ok);
    if (!ok || milliseconds < 0 || !fields.at(0).front().isDigit())
        return QStringLiteral("bad time \"%1\": expected milliseconds since the start").arg(fields.at(0));
    if (fields.size() < 2)
        return QStringLiteral("missing characteristic identifier");
    const QString& characteristic = fields.at(1);
    if (characteristic.size() != 4 || !isHex(characteristic))
        return QStringLiteral("bad characteristic identifier \"%1\": expected four hex digits, such as 2AC2")
            .arg(characteristic);
    if (fields.size() < 3)
        return QStringLiteral("missing value: hex bytes, or - for an empty value");

    QByteArray value;
    if (!(fields.size() == 3 && fields.at(2) == QLatin1String("-"))) {
        for (qsizetype i = 2; i < fields.size(); ++i) {
            const QString& group = fields.at(i);
            if (!isHex(group))
                return QStringLiteral("bad hex bytes \"%1\"").arg(group);
            if (group.size() % 2 != 0)
                return QStringLiteral("odd count of hex digits in \"%1\"").arg(group);
            value += QByteArray::fromHex(group.toLatin1());
        }
    }
    return Di2CaptureRecord{lineNumber, milliseconds, characteristic.toUpper(), value};
}

} // namespace

Di2Capture::Result Di2Capture::parse(QByteArrayView text)
{
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);

    QList<Di2CaptureRecord> records;
    int lineNumber = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView rawLine = text.sliced(start, end - start);
        start = end + 1;
        ++lineNumber;

        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = QString(decoder(rawLine)).trimmed();
        if (decoder.hasError())
            return Di2CaptureError{lineNumber, QStringLiteral("not valid UTF-8 text")};
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;

        auto parsed = parseLine(line, lineNumber);
        if (auto* problem = std::get_if<QString>(&parsed))
            return Di2CaptureError{lineNumber, *problem};
        auto& record = std::get<Di2CaptureRecord>(parsed);
        if (!records.isEmpty() && record.milliseconds < records.constLast().milliseconds) {
            return Di2CaptureError{lineNumber, QStringLiteral("time %1 is before the previous line's %2")
                                                   .arg(record.milliseconds)
                                                   .arg(records.constLast().milliseconds)};
        }
        records.append(std::move(record));
    }
    return records;
}
