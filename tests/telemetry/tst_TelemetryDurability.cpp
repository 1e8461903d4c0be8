#include "fakes/IngestionServer.h"
#include "support/TestRegistry.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <tuple>

// A process killed at random moments loses nothing it had queued: after restarts,
// every record arrives, in order; only a batch in flight at the kill may come twice.
class tst_TelemetryDurability : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    IngestionServer m_server;

    QSet<int> run(int firstSeq, int count, int killAfterMs)
    {
        QProcess child;
        child.start(QStringLiteral(COGWISE_TELEMETRY_CHILD),
                    {m_server.baseUrl(), m_dir.filePath(QStringLiteral("cache")),
                     m_dir.filePath(QStringLiteral("suite.ini")), QString::number(firstSeq),
                     QString::number(count)});
        QSignalSpy finished(&child, &QProcess::finished);
        if (!child.waitForStarted(10000))
            return {};
        QByteArray output;
        // Killed a while after it queued its first signal, however slowly it started on a busy machine.
        std::ignore = QTest::qWaitFor(
            [&] {
                output += child.readAllStandardOutput();
                return output.contains("queued ") || child.state() == QProcess::NotRunning;
            },
            30000);
        QTimer::singleShot(killAfterMs, &child, &QProcess::kill);
        if (finished.isEmpty() && !finished.wait(30000))
            return {};
        QSet<int> seqs;
        for (const QByteArray& line : QByteArray(output + child.readAllStandardOutput()).split('\n')) {
            if (line.startsWith("queued "))
                seqs.insert(line.mid(7).toInt());
        }
        return seqs;
    }

private Q_SLOTS:
    void killedSendersLoseNothing()
    {
        QRandomGenerator random(4242);
        QSet<int> queued;
        int next = 1;
        for (int round = 0; round < 8; ++round) {
            // Some failures too, so that batches are retried across kills.
            if (round % 3 == 1)
                m_server.script.append(IngestionServer::Answer::withStatus(503));
            queued.unite(run(next, 25, int(random.bounded(0, 300))));
            next += 25;
        }
        QVERIFY(queued.size() >= 8);

        // A last run that queues nothing delivers whatever is left.
        QProcess last;
        last.start(QStringLiteral(COGWISE_TELEMETRY_CHILD),
                   {m_server.baseUrl(), m_dir.filePath(QStringLiteral("cache")),
                    m_dir.filePath(QStringLiteral("suite.ini")), QString::number(next), QStringLiteral("0")});
        const auto allDelivered = [&] {
            QSet<int> delivered;
            for (const QString& seq : m_server.delivered())
                delivered.insert(seq.toInt());
            return delivered.contains(queued);
        };
        QTRY_VERIFY_WITH_TIMEOUT(allDelivered(), 30000);
        last.kill();
        last.waitForFinished();

        // First deliveries are in strictly increasing order; repeats are only re-sends.
        QSet<int> seen;
        int previous = 0;
        for (const QString& text : m_server.delivered()) {
            const int seq = text.toInt();
            if (seen.contains(seq))
                continue;
            seen.insert(seq);
            QVERIFY2(seq > previous, qPrintable(QStringLiteral("%1 after %2").arg(seq).arg(previous)));
            previous = seq;
        }
    }
};

COGWISE_TEST(tst_TelemetryDurability)
#include "tst_TelemetryDurability.moc"
