#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the GUI thread (through a self-pipe,
// the only safe way out of a signal handler).
class ShutdownSignals : public QObject
{
    Q_OBJECT

public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

Q_SIGNALS:
    void shutdownRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
