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

class tst_UinputKeySink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesKeyEventsEachFollowedByASyncReport()
    {
        Pipe pipe;
        TricklingSink sink(pipe.fds[1]);
        QVERIFY(sink.canPostKeys());
        QVERIFY(sink.post(VirtualKey::comma(), KeyDirection::down));
        QVERIFY(sink.post(VirtualKey::comma(), KeyDirection::up));
        QVERIFY(sink.post(VirtualKey::period(), KeyDirection::down));
        QVERIFY(sink.post(VirtualKey::period(), KeyDirection::up));
        QCOMPARE(sink.written, long(4 * 2 * sizeof(input_event))); // short writes were completed

        QCOMPARE(readEvents(pipe.fds[0]), (QStringList{key(KEY_COMMA, 1), syn, key(KEY_COMMA, 0), syn,
                                                       key(KEY_DOT, 1), syn, key(KEY_DOT, 0), syn}));
    }

    // The physical key by default; by character the layout is read from the X display, so that
    // on a German layout "/" is Shift+7 and "y" the key where US keyboards have Z.
    void picksKeysByPlaceOrByTheDisplaysLayout()
    {
        const VirtualKey f5 = *VirtualKey::fromName(u"F5"_s);
        const VirtualKey y = *VirtualKey::fromName(u"y"_s);
        const VirtualKey slash = *VirtualKey::fromName(u"slash"_s);
        const auto press = [](QList<int> codes) {
            QStringList events;
            for (int code : codes)
                events << key(code, 1) << syn;
            std::reverse(codes.begin(), codes.end());
            for (int code : codes)
                events << key(code, 0) << syn;
            return events;
        };
        const auto type = [](UinputKeySink& sink, int fd, const QList<VirtualKey>& keys) {
            for (const VirtualKey& key : keys) {
                if (!sink.post(key, KeyDirection::down) || !sink.post(key, KeyDirection::up))
                    return QStringList{sink.lastError()};
            }
            return readEvents(fd);
        };

        // Outlives the sink's connection to it.
        XvfbServer server;
        Pipe pipe;
        UinputKeySink sink(pipe.fds[1]);
        QCOMPARE(sink.keyMatching(), KeyMatching::physicalKey);
        QCOMPARE(type(sink, pipe.fds[0], {f5, y, slash}),
                 press({KEY_F5}) + press({KEY_Y}) + press({KEY_SLASH}));

        // Without a display there is no layout to read: the physical key stays.
        sink.setLayoutDisplay(":4095");
        const auto refused = sink.setKeyMatching(KeyMatching::character);
        QVERIFY(refused && refused->contains(u"no X display"_s));
        QCOMPARE(sink.keyMatching(), KeyMatching::physicalKey);

        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        QVERIFY(!server.start());
        sink.setLayoutDisplay(server.displayName());
        QVERIFY(!sink.setKeyMatching(KeyMatching::character));
        // As on a German layout, switched to while Cogwise runs: Y and Z trade places, "/" is Shift+7.
        QVERIFY(server.remapKeys(
            {{29, {"z", "Z"}}, {52, {"y", "Y"}}, {16, {"7", "slash"}}, {61, {"minus", "underscore"}}}));
        QCOMPARE(type(sink, pipe.fds[0], {f5, y, slash}),
                 press({KEY_F5}) + press({KEY_Z}) + press({KEY_LEFTSHIFT, KEY_7}));
    }

    // The display whose layout it follows goes away mid-ride (XWayland stopped): Cogwise lives
    // on, and the keys go out at their US places, as without a display.
    void aLayoutDisplayThatGoesAwayLeavesThePhysicalKey()
    {
        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        auto server = std::make_unique<XvfbServer>();
        QVERIFY(!server->start());
        QVERIFY(server->remapKeys({{29, {"z", "Z"}}, {52, {"y", "Y"}}}));
        Pipe pipe;
        UinputKeySink sink(pipe.fds[1]);
        sink.setLayoutDisplay(server->displayName());
        QVERIFY(!sink.setKeyMatching(KeyMatching::character));
        const VirtualKey y = *VirtualKey::fromName(u"y"_s);
        QVERIFY(sink.post(y, KeyDirection::down) && sink.post(y, KeyDirection::up));
        QCOMPARE(readEvents(pipe.fds[0]).value(0), key(KEY_Z, 1));

        server.reset();
        QVERIFY(QTest::qWaitFor(
            [&] {
                const bool sent = sink.post(y, KeyDirection::down) && sink.post(y, KeyDirection::up);
                return sent && readEvents(pipe.fds[0]).value(0) == key(KEY_Y, 1);
            },
            10000));
    }

    // What a preset's shifts write to the device, at the keys' places.
    void everyPresetsShiftsReachTheDevice_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<int>("up");
        QTest::addColumn<int>("down");
        QTest::newRow("rouvy") << u"rouvy"_s << KEY_DOT << KEY_COMMA;
        QTest::newRow("mywhoosh") << u"mywhoosh"_s << KEY_I << KEY_K;
        QTest::newRow("tpv") << u"tpv"_s << KEY_KPPLUS << KEY_KPMINUS;
        QTest::newRow("maximumtrainer") << u"maximumtrainer"_s << KEY_UP << KEY_DOWN;
        QTest::newRow("goldencheetah") << u"goldencheetah"_s << KEY_KPPLUS << KEY_KPMINUS;
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
        const QStringList expected{key(up, 1), syn, key(up, 0), syn, key(down, 1), syn, key(down, 0), syn};
        QStringList events;
        QTRY_VERIFY_WITH_TIMEOUT((events += readEvents(pipe.fds[0]), events.size() >= expected.size()),
                                 10000);
        QCOMPARE(events, expected);
        DebugLogRecorder::settle();
    }

    // By character too, a keypad digit is its keypad key alone: Shift would not make a digit of
    // its arrow on every keymap, and Num Lock stays the rider's.
    void keypadKeysArePressedAtTheirPlace()
    {
        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        XvfbServer server;
        QVERIFY(!server.start());
        Pipe pipe;
        UinputKeySink sink(pipe.fds[1]);
        sink.setLayoutDisplay(server.displayName());
        QVERIFY(!sink.setKeyMatching(KeyMatching::character));
        for (bool numLock : {false, true}) {
            QVERIFY(server.setNumLock(numLock));
            const VirtualKey one = *VirtualKey::fromName(u"KP_1"_s);
            QVERIFY(sink.post(one, KeyDirection::down) && sink.post(one, KeyDirection::up));
            QCOMPARE(readEvents(pipe.fds[0]).filter(u"%1 "_s.arg(EV_KEY)),
                     (QStringList{key(KEY_KP1, 1), key(KEY_KP1, 0)}));
        }
    }

    void failuresAreReported()
    {
        Pipe pipe;
        TricklingSink sink(pipe.fds[1]);
        // A device that takes nothing more.
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
