#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <optional>

// A program started as scripts/bench starts Cogwise: in fresh home and XDG folders, with only
// the environment it needs (this process's display and system bus), keys through XTest,
// statistics and the update feed pointed at nobody, and its output kept in files.
class IsolatedProcess
{
public:
    IsolatedProcess();
    ~IsolatedProcess();
    IsolatedProcess(const IsolatedProcess&) = delete;
    IsolatedProcess& operator=(const IsolatedProcess&) = delete;

    // Cogwise's settings file in these folders, to be written before start().
    QString settingsFile() const;
    void setEnvironmentValue(const QString& name, const QString& value);

    std::optional<QString> start(const QString& program, const QStringList& arguments);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Asks it to end (SIGTERM) and waits; false when it had to be killed.
    bool stop();

    QByteArray standardError() const;
    // The end of its standard error, to tell why it failed.
    QString errorTail() const;

private:
    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
    QProcess m_process;
    QString m_program;
};
