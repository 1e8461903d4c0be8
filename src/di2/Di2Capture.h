#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <optional>
#include <variant>

// A recorded stream of characteristic values, one per line:
//   <milliseconds since start> <short identifier> <hex bytes>
// e.g. "120 2AC2 03 05 00 01 00". The bytes may be grouped freely ("0305 000100");
// "-" stands for an empty value. Blank lines and lines starting with '#' are skipped.
struct Di2CaptureRecord
{
    int lineNumber = 0;
    qint64 milliseconds = 0;
    QString characteristic; // upper case, e.g. "2AC2"
    QByteArray value;

    bool operator==(const Di2CaptureRecord&) const = default;
};

struct Di2CaptureError
{
    int lineNumber = 0;
    QString message;
};

class Di2Capture
{
public:
    using Result = std::variant<QList<Di2CaptureRecord>, Di2CaptureError>;

    // A rider's capture covers a ride, not weeks: later times are refused as damage.
    static constexpr auto longestCapture = std::chrono::milliseconds{std::chrono::hours{24 * 7}};

    // The whole capture, or the first malformed line.
    static Result parse(QByteArrayView text);

    // A capture read a line at a time, for captures too long to hold: each line (without
    // its line break) in turn gives its record, nothing (blank, comment) or what is wrong.
    using Line = std::variant<std::monostate, Di2CaptureRecord, Di2CaptureError>;
    Line readLine(QByteArrayView line);

private:
    int m_lineNumber = 0;
    std::optional<qint64> m_lastMilliseconds;
};
