#pragma once

#include <QProcess>
#include <QSignalSpy>
#include <QString>
#include <QStringList>

// The cogwise executable as the end-to-end tests run it: in `environment` (by default this
// process's, with its private buses), its settings and caches under `home` ("config", "cache"),
// analytics sent to nobody, then the test's own `changes` in order: NAME=VALUE sets, NAME unsets.
namespace CogwiseRun {

// A run's start-up, ride and exit on a loaded machine under ASan.
constexpr int timeoutMs = 60000;

inline void start(QProcess& cogwise, const QString& home, const QStringList& arguments,
                  const QStringList& changes,
                  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("COGWISE_TELEMETRY_URL"), QStringLiteral("http://127.0.0.1:9/"));
    for (const QString& change : changes) {
        const qsizetype equals = change.indexOf(QLatin1Char('='));
        if (equals < 0)
            environment.remove(change);
        else
            environment.insert(change.left(equals), change.mid(equals + 1));
    }
    cogwise.setProcessEnvironment(environment);
    cogwise.start(QStringLiteral(COGWISE_BINARY), arguments);
}

struct Result
{
    int exitCode = -1; // also when it did not end in time
    QString out;
    QString err; // empty when forwarded to the test's own
};

// To its end, or killed after `timeoutMs`.
inline Result run(const QString& home, const QStringList& arguments, const QStringList& changes,
                  QProcess::ProcessChannelMode channels = QProcess::SeparateChannels)
{
    QProcess cogwise;
    cogwise.setProcessChannelMode(channels);
    QSignalSpy finished(&cogwise, &QProcess::finished);
    start(cogwise, home, arguments, changes);
    if (!finished.wait(timeoutMs)) {
        cogwise.kill();
        cogwise.waitForFinished();
        return {};
    }
    return {cogwise.exitCode(), QString::fromUtf8(cogwise.readAllStandardOutput()),
            QString::fromUtf8(cogwise.readAllStandardError())};
}

} // namespace CogwiseRun
