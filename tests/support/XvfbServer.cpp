#include "support/XvfbServer.h"

#include <QStandardPaths>

namespace {

constexpr int startTimeoutMs = 20000;

} // namespace

XvfbServer::~XvfbServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished();
}

bool XvfbServer::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty();
}

std::optional<QString> XvfbServer::start(QSize screen)
{
    // -displayfd: Xvfb picks a free display and writes its number once it is ready.
    m_process.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_process.waitForStarted(startTimeoutMs))
        return QStringLiteral("Xvfb did not start: ") + m_process.errorString();
    QByteArray number;
    while (!number.endsWith('\n')) {
        if (!m_process.waitForReadyRead(startTimeoutMs))
            return QStringLiteral("Xvfb did not report a display: ") +
                   QString::fromLocal8Bit(m_process.readAllStandardError());
        number += m_process.readAllStandardOutput();
    }
    m_displayName = ':' + number.trimmed();
    return std::nullopt;
}
