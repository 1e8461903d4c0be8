#include "platform/Defaults.h"
#include "platform/ReferenceDate.h"
#include "support/TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_Defaults : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("Cogwise.conf")); }

private Q_SLOTS:
    void absentKeysReadAsFalseZeroOrNothing()
    {
        Defaults defaults(path());
        QCOMPARE(defaults.boolValue(QStringLiteral("hasCompletedOnboarding")), false);
        QCOMPARE(defaults.integerValue(QStringLiteral("initialVirtualGear")), 0);
        QCOMPARE(defaults.stringValue(QStringLiteral("lastConnectedDeviceUUID")), std::nullopt);
        QCOMPARE(defaults.dataValue(QStringLiteral("activeButtonProfile")), std::nullopt);
    }

    void writesAreSeenByOtherHoldersAndSurviveARestart()
    {
        {
            Defaults writer(path());
            Defaults reader(path());
            writer.setBool(QStringLiteral("enableKeyboardEmulation"), true);
            writer.setInteger(QStringLiteral("initialVirtualGear"), 5);
            writer.setString(QStringLiteral("lastConnectedDeviceUUID"), QStringLiteral("0000-AA"));
            writer.setData(QStringLiteral("activeButtonProfile"), QByteArray("{\"a\":\"\\u00e9\"}\n\0x", 16));
            QVERIFY(writer.lastWriteSucceeded());
            QCOMPARE(reader.integerValue(QStringLiteral("initialVirtualGear")), 5);
        }
        Defaults restarted(path());
        QCOMPARE(restarted.boolValue(QStringLiteral("enableKeyboardEmulation")), true);
        QCOMPARE(restarted.integerValue(QStringLiteral("initialVirtualGear")), 5);
        QCOMPARE(restarted.stringValue(QStringLiteral("lastConnectedDeviceUUID")), QStringLiteral("0000-AA"));
        QCOMPARE(restarted.dataValue(QStringLiteral("activeButtonProfile")),
                 QByteArray("{\"a\":\"\\u00e9\"}\n\0x", 16));
        restarted.remove(QStringLiteral("lastConnectedDeviceUUID"));
        QCOMPARE(Defaults(path()).stringValue(QStringLiteral("lastConnectedDeviceUUID")), std::nullopt);
    }

    void garbageValuesReadAsFalseAndZero()
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\ninitialVirtualGear=twelve\nenableKeyboardEmulation=maybe\n");
        file.close();
        Defaults defaults(path());
        QCOMPARE(defaults.integerValue(QStringLiteral("initialVirtualGear")), 0);
        QCOMPARE(defaults.boolValue(QStringLiteral("enableKeyboardEmulation")), false);
    }

    void unreadableFileIsCopiedBeforeItIsRewritten()
    {
        const QByteArray damaged = "a=1\n\"b=2\n[x]\nc=\"unterminated\n";
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();

        Defaults defaults(path());
        QCOMPARE(defaults.integerValue(QStringLiteral("a")), 1);
        QCOMPARE(defaults.preservedUnreadableFile(), std::optional(path() + QStringLiteral(".unreadable")));
        defaults.setInteger(QStringLiteral("initialVirtualGear"), 4);
        QVERIFY(defaults.lastWriteSucceeded());
        QFile copy(*defaults.preservedUnreadableFile());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), damaged);
        QCOMPARE(Defaults(path()).integerValue(QStringLiteral("initialVirtualGear")), 4);
    }

    // A value the settings syntax cannot hold as it was written is kept: bytes that are not UTF-8
    // in a copy of the whole file, a value that cannot be decoded at all as its text.
    void valuesThatWouldBeRewrittenAreKept()
    {
        // A variant of no type: it fits, but decodes to nothing.
        const QByteArray damaged = "@Variant(\\0\\0\\0\\0\\xff\\xff\\xff\\xff)";
        const QByteArray file = "[General]\nactiveButtonProfile={\"name\":\"Ra\xff\"}\nx=" + damaged + "\n";
        QFile out(path());
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(file);
        out.close();

        Defaults defaults(path());
        QCOMPARE(defaults.preservedDamagedValues(), QStringList{QStringLiteral("x")});
        const QString text = QString::fromLatin1(damaged);
        QCOMPARE(defaults.fileText(QStringLiteral("x")), text);
        QCOMPARE(defaults.stringValue(QStringLiteral("x.corrupt")), text);
        QVERIFY(defaults.preservedUnreadableFile());
        QFile copy(*defaults.preservedUnreadableFile());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), file);
    }

    void referenceDates()
    {
        const QDateTime dayTwo(QDate(2001, 1, 2), QTime(0, 0), Qt::UTC);
        QCOMPARE(ReferenceDate::secondsSinceReferenceDate(dayTwo), 86400.0);
        QCOMPARE(ReferenceDate::fromSecondsSinceReferenceDate(86400.25), std::optional(dayTwo.addMSecs(250)));
        QCOMPARE(ReferenceDate::fromSecondsSinceReferenceDate(-1.0),
                 std::optional(dayTwo.addDays(-1).addSecs(-1)));
        QVERIFY(!ReferenceDate::fromSecondsSinceReferenceDate(std::numeric_limits<double>::infinity()));
        QVERIFY(!ReferenceDate::fromSecondsSinceReferenceDate(1e300));
    }
};

COGWISE_TEST(tst_Defaults)
#include "tst_Defaults.moc"
