// Runs the registered test classes: all of them, each in a process of its own, or the one named
// by the first argument. Further arguments go to QTest (test functions, -v2, ...).

#include "diagnostics/Logger.h"
#include "support/TestRegistry.h"

#include <QCoreApplication>
#include <QProcess>
#ifdef COGWISE_TEST_GUI
#include "support/XvfbServer.h"

#include <QGuiApplication>
#include <QSize>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#endif
#include <QTest>
#include <cstring>

int main(int argc, char* argv[])
{
#ifdef COGWISE_TEST_GUI
    // A window test on a real X server: one of its own, started before the application connects.
    XvfbServer xvfb;
    if (qEnvironmentVariableIsSet("COGWISE_TEST_OWN_XVFB")) {
        // Room for the window at its first size, at the scale the test asks for.
        const double scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                                 ? std::max(1.0, qEnvironmentVariable("QT_SCALE_FACTOR").toDouble())
                                 : 1.0;
        // COGWISE_TEST_SCREEN=WxH: a screen of that many pixels instead.
        QSize screen = QSize(1024, 860) * scale;
        if (const QStringList wh = qEnvironmentVariable("COGWISE_TEST_SCREEN").split(QLatin1Char('x'));
            wh.size() == 2)
            screen = QSize(wh.at(0).toInt(), wh.at(1).toInt());
        if (const auto error = xvfb.start(screen)) {
            std::fprintf(stderr, "%s\n", qPrintable(*error));
            return 1;
        }
        qputenv("DISPLAY", xvfb.displayName());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QGuiApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    // Thousands of decoder lines would bury QTest's output; the Logger's own tests record theirs.
    // COGWISE_TEST_LOG=1 keeps them, on standard error, to see what led to a failure.
    if (!qEnvironmentVariableIsSet("COGWISE_TEST_LOG"))
        Logger::shared().setSystemLog(nullptr);

    const char* only = nullptr;
    std::vector<char*> args{argv[0]};
    for (int i = 1; i < argc; ++i) {
        bool isClass = false;
        for (const auto& entry : TestRegistry::entries())
            isClass = isClass || std::strcmp(entry.name, argv[i]) == 0;
        if (isClass && !only)
            only = argv[i];
        else
            args.push_back(argv[i]);
    }

    // The system bus and the display are chosen once per process, and a class may start its own.
    if (!only && TestRegistry::entries().size() > 1) {
        QStringList options;
        for (std::size_t i = 1; i < args.size(); ++i)
            options.append(QString::fromLocal8Bit(args[i]));
        int failed = 0;
        for (const auto& entry : TestRegistry::entries())
            failed += QProcess::execute(QCoreApplication::applicationFilePath(),
                                        QStringList{QString::fromLatin1(entry.name)} + options) != 0;
        return failed == 0 ? 0 : 1;
    }

    int failures = 0;
    for (const auto& entry : TestRegistry::entries()) {
        if (only && std::strcmp(entry.name, only) != 0)
            continue;
        const auto test = entry.create();
        failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
    }
    return failures == 0 ? 0 : 1;
}
