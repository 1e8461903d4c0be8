// cogwise-replay: decodes a capture of Di2 notifications as Cogwise would.

#include "ReplaySession.h"
#include "di2/Di2Capture.h"
#include "diagnostics/DebugLogService.h"
#include "diagnostics/Logger.h"
#include "diagnostics/QueuedWork.h"
#include "platform/StandardErrorLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryFile>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

constexpr int exitUnreadable = 1;
constexpr int exitMalformed = 2;

int fail(int status, const QString& message)
{
    QTextStream(stderr) << "cogwise-replay: " << message << '\n';
    return status;
}

// No capture line is anywhere near this long; a file with one is not a capture.
constexpr qint64 longestLine = 64 * 1024;

struct CaptureFailure
{
    int status = exitMalformed;
    QString message;
};

// Hands each line of `device`, without its line break, to `take` until it returns a failure.
std::optional<CaptureFailure>
forEachLine(QIODevice& device, const QString& path,
            const std::function<std::optional<CaptureFailure>(QByteArrayView)>& take)
{
    QByteArray buffer(longestLine + 2, Qt::Uninitialized);
    for (qint64 lineNumber = 1;; ++lineNumber) {
        const qint64 length = device.readLine(buffer.data(), buffer.size());
        if (length <= 0) {
            if (length < 0 && !device.atEnd())
                return CaptureFailure{exitUnreadable, QStringLiteral("cannot read %1 at line %2: %3")
                                                          .arg(path)
                                                          .arg(lineNumber)
                                                          .arg(device.errorString())};
            return std::nullopt;
        }
        QByteArrayView line(buffer.constData(), length);
        if (line.endsWith('\n'))
            line.chop(1);
        else if (length == buffer.size() - 1)
            return CaptureFailure{exitMalformed,
                                  QStringLiteral("%1:%2: a line longer than %3 bytes is not a capture's")
                                      .arg(path)
                                      .arg(lineNumber)
                                      .arg(longestLine)};
        if (auto failure = take(line))
            return failure;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    // Every line posts a few tasks to this thread; GLib's loop would wake itself with a
    // system call for each, Qt's own loop does not. Nothing here needs GLib.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cogwise-replay"));
    QCoreApplication::setApplicationVersion(QStringLiteral(COGWISE_VERSION));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Decodes a capture of Di2 notifications through Cogwise's parser and prints what the "
        "application would see.\n\nCapture lines: <milliseconds> <characteristic> <hex bytes>, "
        "e.g. \"120 2AC2 03 05 00 01 00\"; '#' starts a comment line; - as the bytes is an empty value."));
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument(QStringLiteral("capture"),
                                  QStringLiteral("The capture file, or - for standard input."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Append the full debug-log report."));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Write every log line, debug included, to standard error."));
    options.addOption(report);
    options.addOption(verbose);
    if (!options.parse(QCoreApplication::arguments()))
        return fail(exitMalformed, options.errorText());
    if (options.isSet(QStringLiteral("help")))
        options.showHelp(0);
    if (options.isSet(QStringLiteral("version")))
        options.showVersion();
    if (options.positionalArguments().size() != 1)
        return fail(exitMalformed, QStringLiteral("expected one capture file; see --help"));

    const QString path = options.positionalArguments().constFirst();
    QFile file;
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened)
        return fail(exitUnreadable, QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));

    // First the whole capture is checked, a line at a time, so that a malformed line stops the
    // tool before anything is printed; then it is played. Standard input is kept in a
    // temporary file between the two. Memory stays flat whatever the capture's length.
    QTemporaryFile spool;
    QIODevice* second = &file;
    if (file.isSequential()) {
        if (!spool.open())
            return fail(exitUnreadable, QStringLiteral("cannot keep %1: %2").arg(path, spool.errorString()));
        second = &spool;
    }
    Di2Capture check;
    const auto checked = forEachLine(file, path, [&](QByteArrayView line) -> std::optional<CaptureFailure> {
        const Di2Capture::Line read = check.readLine(line);
        if (const auto* error = std::get_if<Di2CaptureError>(&read))
            return CaptureFailure{
                exitMalformed,
                QStringLiteral("%1:%2: %3").arg(path).arg(error->lineNumber).arg(error->message)};
        if (second == &spool &&
            (spool.write(line.data(), line.size()) != line.size() || !spool.putChar('\n')))
            return CaptureFailure{exitUnreadable,
                                  QStringLiteral("cannot keep %1: %2").arg(path, spool.errorString())};
        return std::nullopt;
    });
    if (checked)
        return fail(checked->status, checked->message);
    if (!second->seek(0))
        return fail(exitUnreadable,
                    QStringLiteral("cannot read %1 again: %2").arg(path, second->errorString()));

    // The replay keeps the system log out of it unless asked. Not before the capture is known
    // good: the logger's thread must not outlive an early exit's application object.
    if (options.isSet(verbose)) {
        QLoggingCategory::setFilterRules(QStringLiteral("cogwise.debug=true"));
        auto log = std::make_unique<StandardErrorLog>();
        log->setShowsPrivateText(true);
        Logger::shared().setSystemLog(std::move(log));
    } else {
        Logger::shared().setSystemLog(nullptr);
    }

    QTextStream out(stdout);
    const auto debugLog = options.isSet(report)    ? ReplaySession::DebugLog::exact
                          : options.isSet(verbose) ? ReplaySession::DebugLog::streamed
                                                   : ReplaySession::DebugLog::off;
    ReplaySession session(out, QDateTime::currentDateTime(), debugLog);
    Di2Capture capture;
    const auto played = forEachLine(*second, path, [&](QByteArrayView line) -> std::optional<CaptureFailure> {
        const Di2Capture::Line read = capture.readLine(line);
        if (const auto* record = std::get_if<Di2CaptureRecord>(&read))
            session.play(*record);
        return std::nullopt;
    });
    session.finish();
    if (played)
        return fail(played->status, played->message);
    if (options.isSet(report))
        out << DebugLogService::shared().exportText() << '\n';
    return 0;
}
