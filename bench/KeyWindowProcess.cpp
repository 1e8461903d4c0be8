#include "KeyWindowProcess.h"

#include <QDeadlineTimer>

namespace {

constexpr int windowStartTimeoutMs = 20000;

} // namespace

KeyWindowProcess::~KeyWindowProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished();
}

std::optional<QString> KeyWindowProcess::start()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(COGWISE_BENCH_KEY_WINDOW), {});
    if (line(windowStartTimeoutMs) != QByteArray("ready"))
        return QStringLiteral("the key window did not get the keyboard");
    return std::nullopt;
}

std::optional<KeyWindowProcess::Key> KeyWindowProcess::next(int timeoutMs)
{
    const auto text = line(timeoutMs);
    if (!text)
        return std::nullopt;
    const QList<QByteArray> fields = text->split(' ');
    if (fields.size() != 3)
        return std::nullopt;
    return Key{fields.at(0) == "down", QString::fromLatin1(fields.at(1)), fields.at(2).toLongLong()};
}

std::optional<KeyWindowProcess::Key> KeyWindowProcess::nextDown(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (const auto key = next(int(deadline.remainingTime()))) {
        if (key->down)
            return key;
    }
    return std::nullopt;
}

void KeyWindowProcess::discardArrived()
{
    m_process.waitForReadyRead(0);
    while (m_process.canReadLine())
        m_process.readLine();
}

std::optional<QByteArray> KeyWindowProcess::line(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime())))
            return std::nullopt;
    }
    return m_process.readLine().trimmed();
}
