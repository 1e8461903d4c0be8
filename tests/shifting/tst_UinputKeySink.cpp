#include "platform/Defaults.h"
#include "shifting/Di2ToKeyboardBridge.h"
#include "shifting/TrainerApp.h"
#include "shifting/UserDefaultsManager.h"
#include "shifting/keysinks/UinputKeySink.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "support/XvfbServer.h"

#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Writes at most a few bytes per call, as a slow device might.
class TricklingSink final : public UinputKeySink
{
public:
    using UinputKeySink::UinputKeySink;
    long written = 0;
    bool stall = false;

protected:
    long writeSome(const char* data, unsigned long size) override
    {
        if (stall)
            return 0;
        const long result = UinputKeySink::writeSome(data, std::min<unsigned long>(size, 7));
        written += result;
        return result;
    }
};

QStringList readEvents(int fd)
{
    QStringList events;
    input_event event{};
    while (::read(fd, &event, sizeof event) == sizeof event)
        events.append(u"%1 %2 %3"_s.arg(event.type).arg(event.code).arg(event.value));
    return events;
}

// One line of readEvents(): a key going down (1) or up (0), and the report that ends each.
QString key(int code, int value)
{
    return u"%1 %2 %3"_s.arg(EV_KEY).arg(code).arg(value);
}
const QString syn = u"%1 %2 0"_s.arg(EV_SYN).arg(SYN_REPORT);

struct Pipe
{
    Pipe() { QVERIFY(::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0); }
    ~Pipe() { ::close(fds[0]); } // the sink closes the write end
    int fds[2]{-1, -1};
};

// Codes pressed together, released in reverse, as readEvents() shows them.
QStringList press(QList<int> codes)
{
    QStringList events;
    for (int code : codes)
        events << key(code, 1) << syn;
    std::reverse(codes.begin(), codes.end());
    for (int code : codes)
        events << key(code, 0) << syn;
    return events;
}

// A sink on a pipe, and an X display whose layout it may follow.
struct LayoutRig
{
    std::unique_ptr<XvfbServer> server = std::make_unique<XvfbServer>(); // outlives the sink's connection
    Pipe pipe;
    UinputKeySink sink{pipe.fds[1]};

    bool followTheDisplay()
    {
        if (server->start())
            return false;
        sink.setLayoutDisplay(server->displayName());
        return !sink.setKeyMatching(KeyMatching::character);
    }
    // One press of each key, and what the device got.
    QStringList type(const QList<VirtualKey>& keys)
    {
        for (const VirtualKey& key : keys) {
            if (!sink.post(key, KeyDirection::down) || !sink.post(key, KeyDirection::up))
                return {sink.lastError()};
        }
        return readEvents(pipe.fds[0]);
    }
};

class tst_UinputKeySink : public QObject
{
    Q_OBJECT

    const VirtualKey y = *VirtualKey::fromName(u"y"_s);

private Q_SLOTS:
    void writesKeyEventsEachFollowedByASyncReportOrSaysWhyNot()
    {
        Pipe pipe;
        TricklingSink sink(pipe.fds[1]);
        QVERIFY(sink.canPostKeys());
        for (const VirtualKey& key : {VirtualKey::comma(), VirtualKey::period()})
            QVERIFY(sink.post(key, KeyDirection::down) && sink.post(key, KeyDirection::up));
        QCOMPARE(sink.written, long(4 * 2 * sizeof(input_event))); // short writes were completed
        QCOMPARE(readEvents(pipe.fds[0]), press({KEY_COMMA}) + press({KEY_DOT}));

        // A device that takes nothing more, or accepts no data.
        const QByteArray filler(4096, 'x');
        while (::write(pipe.fds[1], filler.constData(), filler.size()) > 0) {
        }
        QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down));
        QVERIFY2(sink.lastError().contains(u"writing to the virtual keyboard failed"_s),
                 qPrintable(sink.lastError()));
        sink.stall = true;
        QVERIFY(!sink.post(VirtualKey::period(), KeyDirection::down));
        QCOMPARE(sink.lastError(), u"the virtual keyboard accepted no data"_s);
    }

    // The physical key by default; by character the layout is read from the X display, so that
    // on a German layout "/" is Shift+7 and "y" the key where US keyboards have Z.
    void picksKeysByPlaceOrByTheDisplaysLayout()
    {
        const VirtualKey f5 = *VirtualKey::fromName(u"F5"_s);
        const VirtualKey slash = *VirtualKey::fromName(u"slash"_s);
        LayoutRig rig;
        QCOMPARE(rig.sink.keyMatching(), KeyMatching::physicalKey);
        QCOMPARE(rig.type({f5, y, slash}), press({KEY_F5}) + press({KEY_Y}) + press({KEY_SLASH}));

        // Without a display there is no layout to read: the physical key stays.
        rig.sink.setLayoutDisplay(":4095");
        const auto refused = rig.sink.setKeyMatching(KeyMatching::character);
        QVERIFY(refused && refused->contains(u"no X display"_s));
        QCOMPARE(rig.sink.keyMatching(), KeyMatching::physicalKey);

        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        QVERIFY(rig.followTheDisplay());
        // Switched to while Cogwise runs.
        QVERIFY(rig.server->useGermanKeys());
        QCOMPARE(rig.type({f5, y, slash}), press({KEY_F5}) + press({KEY_Z}) + press({KEY_LEFTSHIFT, KEY_7}));

        // A keypad digit is its keypad key alone: Shift would not make a digit of its arrow on
        // every keymap, and Num Lock stays the rider's.
        for (bool numLock : {false, true}) {
            QVERIFY(rig.server->setNumLock(numLock));
            QCOMPARE(rig.type({*VirtualKey::fromName(u"KP_1"_s)}), press({KEY_KP1}));
        }
    }

    // The display whose layout it follows goes away mid-ride (XWayland stopped): Cogwise lives
    // on, and the keys go out at their US places, as without a display.
    void aLayoutDisplayThatGoesAwayLeavesThePhysicalKey()
    {
        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        LayoutRig rig;
        QVERIFY(rig.followTheDisplay());
        QVERIFY(rig.server->useGermanKeys());
        QCOMPARE(rig.type({y}).value(0), key(KEY_Z, 1));

        rig.server.reset();
        QVERIFY(QTest::qWaitFor([&] { return rig.type({y}).value(0) == key(KEY_Y, 1); }, 10000));
    }

    // What a preset's shifts write to the device, at the keys' places.
    void everyPresetsShiftsReachTheDevice_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<int>("up");
        QTest::addColumn<int>("down");
        const QList<std::tuple<const char*, int, int>> presets{{"rouvy", KEY_DOT, KEY_COMMA},
                                                               {"mywhoosh", KEY_I, KEY_K},
                                                               {"tpv", KEY_KPPLUS, KEY_KPMINUS},
                                                               {"maximumtrainer", KEY_UP, KEY_DOWN},
                                                               {"goldencheetah", KEY_KPPLUS, KEY_KPMINUS}};
        QCOMPARE(presets.size(), TrainerApp::all().size() - 1); // every preset is a row
        for (const auto& [app, up, down] : presets)
            QTest::newRow(app) << QString::fromLatin1(app) << up << down;
    }
    void everyPresetsShiftsReachTheDevice()
    {
        QFETCH(QString, app);
        QFETCH(int, up);
        QFETCH(int, down);
        QTemporaryDir dir;
        Defaults defaults(dir.filePath(u"Cogwise.conf"_s));
        UserDefaultsManager storage(defaults);
        QVERIFY(TrainerApp::find(app));
        storage.setTrainerApp(*TrainerApp::find(app));
        Pipe pipe;
        UinputKeySink sink(pipe.fds[1]);
        Di2ToKeyboardBridge bridge(storage, sink);
        bridge.setEnabled(true);

        bridge.handleButtonPress(2);
        bridge.handleButtonPress(1);
        const QStringList expected = press({up}) + press({down});
        QStringList events;
        QTRY_VERIFY_WITH_TIMEOUT((events += readEvents(pipe.fds[0]), events.size() >= expected.size()),
                                 10000);
        QCOMPARE(events, expected);
        DebugLogRecorder::settle();
    }

    void devicesThatCannotBeUsedSayWhy()
    {
        QTemporaryDir dir;
        const auto missing = UinputKeySink::open(dir.filePath(u"uinput"_s));
        QVERIFY(!missing->canPostKeys());
        QVERIFY2(missing->unavailableReason()->contains(u"modprobe uinput"_s),
                 qPrintable(*missing->unavailableReason()));
        QVERIFY(!missing->post(VirtualKey::comma(), KeyDirection::down));
        QCOMPARE(missing->lastError(), *missing->unavailableReason());

        // Not a uinput device: opening works, creating the keyboard does not.
        QVERIFY(ScratchDir::write(dir.filePath(u"plain"_s)));
        const auto notADevice = UinputKeySink::open(dir.filePath(u"plain"_s));
        QVERIFY(!notADevice->canPostKeys());
        QVERIFY2(notADevice->unavailableReason()->contains(u"could not create its virtual keyboard"_s),
                 qPrintable(*notADevice->unavailableReason()));
    }
};

} // namespace

COGWISE_TEST(tst_UinputKeySink)
#include "tst_UinputKeySink.moc"
