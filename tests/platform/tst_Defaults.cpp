#include "platform/Defaults.h"
#include "platform/ReferenceDate.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_Defaults : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(u"Cogwise.conf"_s); }

private Q_SLOTS:
    void absentOrGarbageValuesReadAsFalseZeroOrNothing()
    {
        QVERIFY(ScratchDir::write(path(),
                                  "[General]\ninitialVirtualGear=twelve\nenableKeyboardEmulation=maybe\n"));
        Defaults defaults(path());
        QCOMPARE(defaults.integerValue(u"initialVirtualGear"_s), 0);
        QCOMPARE(defaults.boolValue(u"enableKeyboardEmulation"_s), false);
        QCOMPARE(defaults.boolValue(u"hasCompletedOnboarding"_s), false);
        QCOMPARE(defaults.integerValue(u"absentNumber"_s), 0);
        QCOMPARE(defaults.stringValue(u"lastConnectedDeviceUUID"_s), std::nullopt);
        QCOMPARE(defaults.dataValue(u"activeButtonProfile"_s), std::nullopt);
    }

    void writesAreSeenByOtherHoldersAndSurviveARestart()
    {
        {
            Defaults writer(path());
            Defaults reader(path());
            writer.setBool(u"enableKeyboardEmulation"_s, true);
            writer.setInteger(u"initialVirtualGear"_s, 5);
            writer.setString(u"lastConnectedDeviceUUID"_s, u"0000-AA"_s);
            writer.setData(u"activeButtonProfile"_s, QByteArray("{\"a\":\"\\u00e9\"}\n\0x", 16));
            QVERIFY(writer.lastWriteSucceeded());
            QCOMPARE(reader.integerValue(u"initialVirtualGear"_s), 5);
        }
        Defaults restarted(path());
        QCOMPARE(restarted.boolValue(u"enableKeyboardEmulation"_s), true);
        QCOMPARE(restarted.integerValue(u"initialVirtualGear"_s), 5);
        QCOMPARE(restarted.stringValue(u"lastConnectedDeviceUUID"_s), u"0000-AA"_s);
        QCOMPARE(restarted.dataValue(u"activeButtonProfile"_s), QByteArray("{\"a\":\"\\u00e9\"}\n\0x", 16));
        restarted.remove(u"lastConnectedDeviceUUID"_s);
        QCOMPARE(Defaults(path()).stringValue(u"lastConnectedDeviceUUID"_s), std::nullopt);
    }

    void unreadableFileIsCopiedBeforeItIsRewritten()
    {
        const QByteArray damaged = "a=1\n\"b=2\n[x]\nc=\"unterminated\n";
        QVERIFY(ScratchDir::write(path(), damaged));

        Defaults defaults(path());
        QCOMPARE(defaults.integerValue(u"a"_s), 1);
        QCOMPARE(defaults.preservedUnreadableFile(), std::optional(path() + u".unreadable"_s));
        defaults.setInteger(u"initialVirtualGear"_s, 4);
        QVERIFY(defaults.lastWriteSucceeded());
        QCOMPARE(ScratchDir::read(*defaults.preservedUnreadableFile()), damaged);
        QCOMPARE(Defaults(path()).integerValue(u"initialVirtualGear"_s), 4);
    }

    // A value the settings syntax cannot hold as it was written is kept: bytes that are not UTF-8
    // in a copy of the whole file, a value that cannot be decoded at all as its text.
    void valuesThatWouldBeRewrittenAreKept()
    {
        // A variant of no type: it fits, but decodes to nothing.
        const QByteArray damaged = "@Variant(\\0\\0\\0\\0\\xff\\xff\\xff\\xff)";
        const QByteArray file = "[General]\nactiveButtonProfile={\"name\":\"Ra\xff\"}\nx=" + damaged + "\n";
        QVERIFY(ScratchDir::write(path(), file));

        Defaults defaults(path());
        QCOMPARE(defaults.preservedDamagedValues(), QStringList{u"x"_s});
        const QString text = QString::fromLatin1(damaged);
        QCOMPARE(defaults.fileText(u"x"_s), text);
        QCOMPARE(defaults.stringValue(u"x.corrupt"_s), text);
        QVERIFY(defaults.preservedUnreadableFile());
        QCOMPARE(ScratchDir::read(*defaults.preservedUnreadableFile()), file);
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
