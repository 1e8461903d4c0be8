#include "platform/Defaults.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QDateTime>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

class tst_VariantValueCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(u"Cogwise.conf"_s); }

private Q_SLOTS:
    // Without the check, QSettings would reserve gigabytes or overflow its stack for these
    // before Cogwise sees them: each reads as damaged, and its text is kept for the rider.
    void valuesThatDoNotFitAreKeptAsText_data()
    {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("nameTaken"); // "x.corrupt" already holds an earlier text

        const auto row = [](const char* name, const QByteArray& value, const QByteArray& group = {},
                            bool nameTaken = false) { QTest::newRow(name) << group << value << nameTaken; };
        const QByteArray hugeList = "@Variant(\\0\\0\\0\\v\\xff\\xff\\xff\\xf0)";
        row("list count", hugeList);
        row("string length", "@Variant(\\0\\0\\0\\n\\x7f\\xff\\xff\\xfe\\0\\x61)");
        row("map cut short",
            "@Variant(\\0\\0\\0\\b\\0\\0\\0\\x2\\0\\0\\0\\x2\\0\\x61\\0\\0\\0\\x2\\0\\0\\0\\x1)");
        row("zone name of a date", "@DateTime(\\0\\0\\0\\x10\\0\\0\\0\\0\\0\\0%\\x8a\\x98\\0"
                                   "\\xa8\\x88\\x88\\x3\\x7f\\xff\\xff\\xfe)");
        row("type it cannot bound", "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x6QUuid\\0\\x1\\x2)");
        QByteArray deep = "@Variant(";
        for (int level = 0; level < 200000; ++level)
            deep += "\\0\\0\\0\\t\\0\\0\\0\\x1";
        row("nesting", deep + "\\0\\0\\0\\x2\\0\\0\\0\\x1)");
        row("in a list, quoted", "1, \"" + hugeList + "\"");
        row("under a group", hugeList, "grp");
        row("beside an earlier copy", hugeList, {}, true);
        // The bytes themselves stay in a copy of the file as it was.
        row("in a group named not in UTF-8", hugeList, "gr\xe9p");
    }
    void valuesThatDoNotFitAreKeptAsText()
    {
        QFETCH(QByteArray, group);
        QFETCH(QByteArray, value);
        QFETCH(bool, nameTaken);
        const QByteArray written = "[" + (group.isEmpty() ? QByteArray("General") : group) +
                                   "]\na=1\nx = " + value + " ; by hand\n" +
                                   (nameTaken ? "x.corrupt=earlier\n" : "") + "b=2\n";
        QVERIFY(ScratchDir::write(path(), written));
        const QString prefix = group.isEmpty() ? QString() : QString::fromUtf8(group) + QLatin1Char('/');
        const QString key = prefix + u"x"_s;
        const QString keptUnder = key + (nameTaken ? u".corrupt.2"_s : u".corrupt"_s);

        Defaults defaults(path());
        QCOMPARE(defaults.refusedValues().size(), 1);
        QCOMPARE(defaults.refusedValues().constFirst().key, key);
        QCOMPARE(defaults.refusedValues().constFirst().keptUnder, keptUnder);
        QVERIFY(!defaults.fileLeftUnread());
        QCOMPARE(defaults.stringValue(key), std::nullopt);
        QCOMPARE(defaults.stringValue(keptUnder), QString::fromUtf8(value));
        QCOMPARE(defaults.preservedUnreadableFile().has_value(),
                 QString::fromUtf8(written).toUtf8() != written);
        if (const auto& copy = defaults.preservedUnreadableFile())
            QCOMPARE(ScratchDir::read(*copy), written);
        QCOMPARE(defaults.integerValue(prefix + u"b"_s), 2);
        if (nameTaken)
            QCOMPARE(defaults.stringValue(u"x.corrupt"_s), u"earlier"_s);

        // The next start finds nothing left to refuse, and a write keeps the copy.
        defaults.setInteger(u"c"_s, 3);
        Defaults restarted(path());
        QVERIFY(restarted.refusedValues().isEmpty());
        QCOMPARE(restarted.stringValue(keptUnder), QString::fromUtf8(value));
    }

    void valuesQSettingsWroteAreLeftAlone()
    {
        const QTimeZone ownZone(QByteArray("Cogwise/Test"), 3600, u"Test"_s, u"TT"_s);
        const QVariantMap map{{u"list"_s, QStringList{u"a"_s, u"b,c"_s}},
                              {u"bytes"_s, QByteArray("\0\xff\"", 3)},
                              {u"when"_s, QDateTime(QDate(2024, 5, 6), QTime(7, 8), ownZone)}};
        const QVariantList nested{QVariantList{QStringList{u"q"_s}, 1.5, QVariant()}};
        {
            QSettings settings(path(), QSettings::IniFormat);
            settings.clear();
            settings.setValue(u"map"_s, map);
            settings.setValue(u"grp/nested"_s, nested);
            settings.setValue(u"grp/when"_s, QDateTime(QDate(2024, 5, 6), QTime(7, 8), ownZone));
            settings.setValue(u"bytes"_s, QByteArray("\0\1,\xff", 4));
        }
        const QByteArray written = ScratchDir::read(path());

        Defaults defaults(path());
        QVERIFY(defaults.refusedValues().isEmpty());
        QCOMPARE(ScratchDir::read(path()), written);
        QCOMPARE(defaults.dataValue(u"bytes"_s), QByteArray("\0\1,\xff", 4));
        const QSettings reread(path(), QSettings::IniFormat);
        QCOMPARE(reread.value(u"map"_s).toMap(), map);
        QCOMPARE(reread.value(u"grp/nested"_s).toList(), nested);
    }
};

COGWISE_TEST(tst_VariantValueCheck)
#include "tst_VariantValueCheck.moc"
