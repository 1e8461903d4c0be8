#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QTcpServer>

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
        QByteArray retryAfter;
        QByteArray body = "{}";

        static Answer withStatus(int code, QByteArray retryAfterValue = {})
        {
            return {Kind::status, code, std::move(retryAfterValue)};
        }
        static Answer withBody(QByteArray content) { return {Kind::status, 200, {}, std::move(content)}; }
        static Answer resetConnection() { return {Kind::reset, 0, {}}; }
        static Answer noAnswer() { return {Kind::silent, 0, {}}; }
    };

    struct Request
    {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // lower-case names
        QJsonArray records;
        qint64 receivedAtMs = 0; // since the server started
        Answer answer;
    };

    explicit IngestionServer(QObject* parent = nullptr);

    QString baseUrl() const;
    // Answers for the next requests, in order; once used up, 200.
    QList<Answer> script;

    const QList<Request>& requests() const { return m_requests; }
    // Payload values under `key` of every record the server accepted (2xx), in order.
    QStringList delivered(const QString& key = QStringLiteral("seq")) const;

Q_SIGNALS:
    void requestReceived();

private:
    void readFrom(QTcpSocket* socket);

    QMap<QTcpSocket*, QByteArray> m_buffers;
    QList<Request> m_requests;
    QElapsedTimer m_clock;
    QTcpServer m_server; // last: its sockets go first, while the rest is still there
};
