#include "platform/Defaults.h"
#include "shifting/GearService.h"
#include "shifting/UserDefaultsManager.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_GearService : public QObject
{
    Q_OBJECT

    ScratchDir m_files;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<UserDefaultsManager> m_storage;

private Q_SLOTS:
    void init()
    {
        m_defaults = std::make_unique<Defaults>(m_files.testFile());
        m_storage = std::make_unique<UserDefaultsManager>(*m_defaults);
    }

    void startsAtTheStoredInitialGear_data()
    {
        QTest::addColumn<std::optional<qint64>>("stored");
        QTest::addColumn<qint64>("gear");
        QTest::newRow("nothing stored, read as 0") << std::optional<qint64>() << qint64(13);
        QTest::newRow("1, the bottom") << std::optional<qint64>(1) << qint64(1);
        QTest::newRow("27, the top") << std::optional<qint64>(27) << qint64(27);
        QTest::newRow("-3") << std::optional<qint64>(-3) << qint64(13);
        // Hand-edited values above the range never become the current gear.
        QTest::newRow("28, one above the top") << std::optional<qint64>(28) << qint64(13);
    }

    void startsAtTheStoredInitialGear()
    {
        QFETCH(std::optional<qint64>, stored);
        QFETCH(qint64, gear);
        if (stored)
            m_defaults->setInteger(u"initialVirtualGear"_s, *stored);
        const GearService service(*m_storage);
        QCOMPARE(service.currentVirtualGear(), gear);
        QCOMPARE(service.storedInitialGear(), gear);
        // Reading leaves the stored value as it was.
        QCOMPARE(m_defaults->integerValue(u"initialVirtualGear"_s), stored.value_or(0));
    }

    void shiftsSaturateAndAreAlwaysLogged_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<QString>("direction");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("gear");

        QTest::newRow("up into the top") << qint64(25) << u"up"_s << qint64(5) << qint64(27);
        QTest::newRow("down into the bottom") << qint64(3) << u"down"_s << qint64(10) << qint64(1);
        QTest::newRow("up by nothing") << qint64(13) << u"up"_s << qint64(0) << qint64(13);
        QTest::newRow("up from above the range") << qint64(40) << u"up"_s << qint64(1) << qint64(27);
        QTest::newRow("down from above the range") << qint64(40) << u"down"_s << qint64(1) << qint64(39);
        QTest::newRow("no overflow at the limit")
            << std::numeric_limits<qint64>::max() << u"up"_s << qint64(10) << qint64(27);
    }

    void shiftsSaturateAndAreAlwaysLogged()
    {
        QFETCH(qint64, start);
        QFETCH(QString, direction);
        QFETCH(qint64, count);
        QFETCH(qint64, gear);

        GearService service(*m_storage);
        service.setCurrentVirtualGear(start);
        DebugLogRecorder recorder;
        direction == QLatin1String("up") ? service.shiftUp(count) : service.shiftDown(count);
        QCOMPARE(service.currentVirtualGear(), gear);

        QCOMPARE(recorder.entries.size(), 1); // added at once, not queued
        const DebugLogEntry& entry = recorder.entries.constFirst();
        QCOMPARE(entry.message, u"Gear %1 by %2"_s.arg(direction).arg(count));
        QCOMPARE(entry.category, u"GearService"_s);
        QCOMPARE(entry.details, std::optional(DebugLogDetails{{u"direction"_s, direction},
                                                              {u"shiftCount"_s, QString::number(count)},
                                                              {u"previousGear"_s, QString::number(start)},
                                                              {u"newGear"_s, QString::number(gear)}}));
    }

    void initialGearIsClampedStoredAndApplied()
    {
        GearService service(*m_storage);
        QSignalSpy changed(&service, &GearService::currentVirtualGearChanged);
        service.setInitialGear(0);
        QCOMPARE(m_defaults->integerValue(u"initialVirtualGear"_s), 1);
        QCOMPARE(service.currentVirtualGear(), 1);
        service.setInitialGear(30);
        QCOMPARE(m_defaults->integerValue(u"initialVirtualGear"_s), 27);
        QCOMPARE(service.currentVirtualGear(), 27);
        QCOMPARE(changed.size(), 2);

        service.setCurrentVirtualGear(27);
        service.shiftUp(1);
        QCOMPARE(changed.size(), 2); // equal values notify nobody
    }
};

COGWISE_TEST(tst_GearService)
#include "tst_GearService.moc"
