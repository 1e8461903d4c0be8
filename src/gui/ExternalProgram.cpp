#include "gui/ExternalProgram.h"

#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <memory>

namespace ExternalProgram {

namespace {

// The helpers print their reason last, after the lines of the tools they tried.
QString lastLine(const QByteArray& output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return lines.isEmpty() ? QString() : QString::fromLocal8Bit(lines.last().trimmed());
}

} // namespace

void run(QObject& context, const QString& program, const QStringList& arguments, Done done)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        done(QStringLiteral("%1 is not installed").arg(program));
        return;
    }
    auto* process = new QProcess(&context);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    // Called at most once: by the end of the process or by the hand-over, whichever comes first,
    // and never once the context is on its way out (its end kills a process still running).
    auto pending = std::make_shared<Done>(std::move(done));
    const auto report = [pending, alive = QPointer<QObject>(&context)](std::optional<QString> error) {
        if (!alive)
            return;
        if (Done call = std::exchange(*pending, nullptr))
            call(std::move(error));
    };
    auto* handOver = new QTimer(process);
    handOver->setSingleShot(true);
    QObject::connect(handOver, &QTimer::timeout, process, [report] { report(std::nullopt); });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, report](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         report(process->errorString());
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, program, report](int exitCode, QProcess::ExitStatus status) {
                         if (status == QProcess::NormalExit && exitCode == 0) {
                             report(std::nullopt);
                         } else {
                             const QString said = lastLine(process->readAllStandardError());
                             report(said.isEmpty()
                                        ? QStringLiteral("%1 ended with status %2").arg(program).arg(exitCode)
                                        : said);
                         }
                         process->deleteLater();
                     });
    process->start(path, arguments);
    handOver->start(handOverTime);
}

} // namespace ExternalProgram
