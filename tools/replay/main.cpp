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
#include <QTextStream>
#include <cstdio>

namespace {

constexpr int exitUnreadable = 1;
constexpr int exitMalformed = 2;

int fail(int status, const QString& message)
{
    QTextStream(stderr) << "cogwise-replay: " << message << '\n';
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
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
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(exitUnreadable, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));

    const auto parsed = Di2Capture::parse(text);
    if (const auto* error = std::get_if<Di2CaptureError>(&parsed))
        return fail(exitMalformed,
                    QStringLiteral("%1:%2: %3").arg(path).arg(error->lineNumber).arg(error->message));

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
    ReplaySession session(out, QDateTime::currentDateTime());
    session.play(std::get<QList<Di2CaptureRecord>>(parsed));
    if (options.isSet(report)) {
        QueuedWork::settle(Logger::shared(), DebugLogService::shared());
        out << DebugLogService::shared().exportText() << '\n';
    }
    return 0;
}
