// The floor for Cogwise's first frame: a Fusion ApplicationWindow with one Label. Reports
// its first frame as cogwise does under COGWISE_QUIT_AFTER_FIRST_FRAME, and quits.

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QQmlApplicationEngine engine;
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/BareWindow/BareWindow.qml")));
    auto* window =
        engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    if (!window)
        return 1;
    // Emitted on the render thread: the time is taken there, the quit is queued to the GUI thread.
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [reported = std::make_shared<std::atomic_bool>(false)] {
            if (reported->exchange(true))
                return;
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            std::fprintf(
                stderr, "first frame swapped at %lld us\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        },
        Qt::DirectConnection);
    return QGuiApplication::exec();
}
