#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

// A minimal HTTP/1.1 server on 127.0.0.1 that plays the analytics ingestion service:
// it records every request and answers each as its script says.
class IngestionServer : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        enum class Kind { status, reset, silent };
        Kind kind = Kind::status;
        int status = 200;
        QByteArray retryAfter{};
        QByteArray body = "{}";
        QByteArray location{};
        qint64 streamedBodyBytes = -1; // instead of `body`: this many bytes, written as the client reads

        static Answer withStatus(int code, QByteArray retryAfterValue = {})
        {
            return {.status = code, .retryAfter = std::move(retryAfterValue)};
        }
        static Answer withBody(QByteArray content) { return {.body = std::move(content)}; }
        static Answer redirect(int code, QByteArray to)
        {
            return {.status = code, .location = std::move(to)};
        }
        static Answer withLongBody(qint64 bytes) { return {.streamedBodyBytes = bytes}; }
        static Answer resetConnection() { return {.kind = Kind::reset}; }
        static Answer noAnswer() { return {.kind = Kind::silent}; }
    };

    struct Request
    {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // lower-case names
        QJsonArray records;
        qint64 receivedAtMs = 0; // since the server started
        Answer answer;
        qint64 answerBodyBytesSent = 0; // of a streamed body
    };

    explicit IngestionServer(QObject* parent = nullptr);

    QString baseUrl() const;
    // Answers for the next requests, in order; once used up, 200.
    QList<Answer> script;
    // When set, answers every request instead of the script.
    std::function<Answer(const Request&)> judge;

    const QList<Request>& requests() const { return m_requests; }
    // Payload values under `key` of every record the server accepted (2xx), in order.
    QStringList delivered(const QString& key = QStringLiteral("seq")) const;

private:
    void readFrom(QTcpSocket* socket);
    void streamBody(QTcpSocket* socket);

    struct Stream
    {
        qsizetype request = 0;
        qint64 remaining = 0;
    };
    QMap<QTcpSocket*, Stream> m_streams;
    QMap<QTcpSocket*, QByteArray> m_buffers;
    QList<Request> m_requests;
    QElapsedTimer m_clock;
    QTcpServer m_server; // last: its sockets go first, while the rest is still there
};
