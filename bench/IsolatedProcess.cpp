#include "IsolatedProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int stopTimeoutMs = 10000;
constexpr qsizetype errorTailBytes = 2000;

} // namespace

IsolatedProcess::IsolatedProcess()
{
    const QDir home(m_home.path());
    for (const char* folder : {"config", "cache", "data", "runtime"})
        home.mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QProcessEnvironment inherited = QProcessEnvironment::systemEnvironment();
    for (const QString& name :
         {QStringLiteral("PATH"), QStringLiteral("DISPLAY"), QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS")}) {
        if (inherited.contains(name))
            m_environment.insert(name, inherited.value(name));
    }
    m_environment.insert(QStringLiteral("HOME"), home.path());
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    m_environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    m_environment.insert(QStringLiteral("COGWISE_KEY_SINK"), QStringLiteral("xtest"));
    m_environment.insert(QStringLiteral("COGWISE_TELEMETRY_URL"), QStringLiteral("http://127.0.0.1:9/"));
    m_environment.insert(QStringLiteral("COGWISE_UPDATE_FEED"), QStringLiteral("http://127.0.0.1:9/"));
}

IsolatedProcess::~IsolatedProcess()
{
    stop();
}

QString IsolatedProcess::settingsFile() const
{
    return m_home.filePath(QStringLiteral("config/Cogwise/Cogwise.conf"));
}

void IsolatedProcess::setEnvironmentValue(const QString& name, const QString& value)
{
    m_environment.insert(name, value);
}

std::optional<QString> IsolatedProcess::start(const QString& program, const QStringList& arguments)
{
    m_program = QFileInfo(program).fileName();
    m_process.setProcessEnvironment(m_environment);
    m_process.setWorkingDirectory(m_home.path());
    m_process.setStandardOutputFile(m_home.filePath(QStringLiteral("stdout.log")));
    m_process.setStandardErrorFile(m_home.filePath(QStringLiteral("stderr.log")));
    m_process.start(program, arguments);
    if (!m_process.waitForStarted())
        return m_program + QStringLiteral(" did not start: ") + m_process.errorString();
    return std::nullopt;
}

bool IsolatedProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    m_process.terminate();
    if (m_process.waitForFinished(stopTimeoutMs))
        return true;
    m_process.kill();
    m_process.waitForFinished();
    return false;
}

QByteArray IsolatedProcess::standardError() const
{
    QFile file(m_home.filePath(QStringLiteral("stderr.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString IsolatedProcess::errorTail() const
{
    const QByteArray text = standardError();
    return m_program + QStringLiteral(" wrote on standard error:\n") +
           QString::fromLocal8Bit(text.right(errorTailBytes));
}
