#include "fakes/IngestionServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

IngestionServer::IngestionServer(QObject* parent)
    : QObject(parent)
{
    m_clock.start();
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { streamBody(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                m_streams.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

QString IngestionServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort());
}

QStringList IngestionServer::delivered(const QString& key) const
{
    QStringList values;
    for (const Request& request : m_requests) {
        if (request.answer.kind != Answer::Kind::status || request.answer.status / 100 != 2)
            continue;
        for (const QJsonValue& record : request.records)
            values.append(
                record.toObject().value(QStringLiteral("payload")).toObject().value(key).toString());
    }
    return values;
}

void IngestionServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        Request request;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon > 0)
                request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                       lines.at(i).mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.records = QJsonDocument::fromJson(buffer.mid(headerEnd + 4, length)).array();
        buffer.remove(0, headerEnd + 4 + length);
        request.receivedAtMs = m_clock.elapsed();
        request.answer = judge              ? judge(request)
                         : script.isEmpty() ? Answer::withStatus(200)
                                            : script.takeFirst();
        m_requests.append(request);

        switch (request.answer.kind) {
        case Answer::Kind::reset:
            socket->abort();
            return;
        case Answer::Kind::silent:
            break;
        case Answer::Kind::status: {
            QByteArray response = "HTTP/1.1 " + QByteArray::number(request.answer.status) + " Scripted\r\n";
            if (!request.answer.retryAfter.isEmpty())
                response += "Retry-After: " + request.answer.retryAfter + "\r\n";
            if (!request.answer.location.isEmpty())
                response += "Location: " + request.answer.location + "\r\n";
            const bool streamed = request.answer.streamedBodyBytes >= 0;
            const qint64 bodyLength =
                streamed ? request.answer.streamedBodyBytes : request.answer.body.size();
            response +=
                "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(bodyLength) +
                "\r\n\r\n";
            if (!streamed)
                response += request.answer.body;
            socket->write(response);
            if (streamed) {
                m_streams.insert(socket, {m_requests.size() - 1, bodyLength});
                streamBody(socket);
            }
            break;
        }
        }
    }
}

void IngestionServer::streamBody(QTcpSocket* socket)
{
    const auto stream = m_streams.find(socket);
    if (stream == m_streams.end())
        return;
    // Only as fast as the client takes it, so that the server never holds the whole body.
    constexpr qint64 chunk = 64 * 1024;
    while (stream->remaining > 0 && socket->bytesToWrite() < 4 * chunk) {
        const qint64 size = std::min(chunk, stream->remaining);
        socket->write(QByteArray(size, 'x'));
        stream->remaining -= size;
        m_requests[stream->request].answerBodyBytesSent += size;
    }
}
