#include "shifting/keysinks/KeyTypingInspector.h"
#include "support/DebugLogRecorder.h"
#include "support/ScratchDir.h"
#include "support/TestRegistry.h"
#include "support/XvfbServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(KeyTypingSetup::Session)

namespace {

using Session = KeyTypingSetup::Session;

QProcessEnvironment environment(const QList<QPair<QString, QString>>& variables)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : variables)
        env.insert(name, value);
    return env;
}

QString ownGroup()
{
    const group* entry = getgrgid(getegid());
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString();
}

} // namespace

// What decides whether keys reach the trainer app, read from stand-ins: a file for /dev/uinput,
// a folder for /sys, rule files, an Xvfb with or without XTEST, a missing display.
class tst_KeyTypingInspector : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Places in the test's folder, none of which exists until a test makes it.
    KeyTypingInspector::Places places() const
    {
        return {m_dir.filePath(u"uinput"_s),
                m_dir.filePath(u"sys"_s),
                {m_dir.filePath(u"etc.rules"_s), m_dir.filePath(u"usr.rules"_s)},
                m_dir.filePath(u"keyboard"_s)};
    }

    KeyTypingSetup::Facts inspect(const QProcessEnvironment& env = {},
                                  KeyMatching matching = KeyMatching::character)
    {
        KeyTypingInspector inspector(places(), env);
        return inspector.inspect({VirtualKey::period(), VirtualKey::comma()}, matching);
    }

private Q_SLOTS:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void sessionFromTheEnvironment_data()
    {
        QTest::addColumn<QProcessEnvironment>("env");
        QTest::addColumn<Session>("session");
        const QString type = u"XDG_SESSION_TYPE"_s;
        const QString wayland = u"WAYLAND_DISPLAY"_s;
        const QString display = u"DISPLAY"_s;
        QTest::newRow("X11") << environment({{type, u"x11"_s}, {display, u":0"_s}}) << Session::x11;
        QTest::newRow("X11 over ssh -X") << environment({{display, u"localhost:10.0"_s}}) << Session::x11;
        QTest::newRow("Wayland with XWayland")
            << environment({{type, u"wayland"_s}, {wayland, u"wayland-0"_s}, {display, u":0"_s}})
            << Session::waylandWithXwayland;
        QTest::newRow("Wayland without XWayland")
            << environment({{type, u"wayland"_s}, {wayland, u"wayland-0"_s}}) << Session::wayland;
        // A compositor started from a console session still says where its clients connect.
        QTest::newRow("Wayland from a tty")
            << environment({{type, u"tty"_s}, {wayland, u"wayland-1"_s}}) << Session::wayland;
        QTest::newRow("console") << environment({{type, u"tty"_s}}) << Session::none;
        QTest::newRow("nothing set") << QProcessEnvironment() << Session::none;
    }
    void sessionFromTheEnvironment()
    {
        QFETCH(QProcessEnvironment, env);
        QFETCH(Session, session);
        QCOMPARE(KeyTypingInspector::sessionOf(env), session);
    }

    // The device is opened as the sink opens it: a node that refuses, or is missing, says so.
    void uinputDevice_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("writable");
        QTest::newRow("writable") << u"file"_s << true << true;
        QTest::newRow("missing") << QString() << false << false;
        // Opened for writing with nothing behind it, as a device node without its driver.
        QTest::newRow("no driver behind it") << u"fifo"_s << true << false;
        QTest::newRow("a folder") << u"folder"_s << true << false;
    }
    void uinputDevice()
    {
        QFETCH(QString, kind);
        QFETCH(bool, exists);
        QFETCH(bool, writable);
        const QString path = places().uinputDevice;
        if (kind == QLatin1String("file"))
            QVERIFY(ScratchDir::write(path, {}));
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));

        const KeyTypingSetup::Uinput uinput = inspect().uinput;
        QCOMPARE(uinput.devicePath, path);
        QCOMPARE(uinput.deviceExists, exists);
        QCOMPARE(!uinput.openError.has_value(), writable);
        if (uinput.openError)
            QVERIFY(!uinput.openError->isEmpty());
    }

    void uinputModule_data()
    {
        QTest::addColumn<QString>("present");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("a module") << u"module/uinput"_s << true;
        QTest::newRow("built into the kernel") << u"class/misc/uinput"_s << true;
        QTest::newRow("neither") << u"module/evdev"_s << false;
    }
    void uinputModule()
    {
        QFETCH(QString, present);
        QFETCH(bool, loaded);
        QVERIFY(QDir().mkpath(QDir(places().sysfs).filePath(present)));
        QCOMPARE(inspect().uinput.moduleLoaded, loaded);
    }

    // The group comes from the rule udev reads first; membership from this process's groups.
    void ruleAndGroup_data()
    {
        QTest::addColumn<QByteArray>("etcRule");
        QTest::addColumn<QByteArray>("usrRule");
        QTest::addColumn<int>("foundAt"); // -1: none
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("member");
        const QByteArray shipped =
            "KERNEL==\"uinput\", SUBSYSTEM==\"misc\", GROUP=\"input\", MODE=\"0660\"\n";
        const QByteArray own =
            "KERNEL==\"uinput\", GROUP=\"" + ownGroup().toLocal8Bit() + "\", MODE=\"0660\"\n";
        const group* input = getgrnam("input");
        const bool hasInput = input, inInput = input && getegid() == input->gr_gid;
        QTest::newRow("no rule: input assumed")
            << QByteArray() << QByteArray() << -1 << u"input"_s << hasInput << inInput;
        QTest::newRow("the packaged rule")
            << QByteArray() << shipped << 1 << u"input"_s << hasInput << inInput;
        QTest::newRow("an override in /etc wins") << own << shipped << 0 << ownGroup() << true << true;
        QTest::newRow("a group this user lacks") << QByteArray("KERNEL==\"uinput\", GROUP:=\"nogroup\"\n")
                                                 << QByteArray() << 0 << u"nogroup"_s << true << false;
        QTest::newRow("a group that does not exist")
            << QByteArray("GROUP=\"cogwise-no-such-group\"") << QByteArray() << 0
            << u"cogwise-no-such-group"_s << false << false;
        QTest::newRow("a rule naming no group") << QByteArray("KERNEL==\"uinput\", MODE=\"0666\"\n")
                                                << shipped << 0 << QString() << false << false;
        QTest::newRow("binary junk") << QByteArray("\x00\xff\xfeGROUP=\x01", 10) << QByteArray() << 0
                                     << QString() << false << false;
    }
    void ruleAndGroup()
    {
        QFETCH(QByteArray, etcRule);
        QFETCH(QByteArray, usrRule);
        QFETCH(int, foundAt);
        QFETCH(QString, group);
        QFETCH(bool, exists);
        QFETCH(bool, member);
        if (!etcRule.isEmpty())
            QVERIFY(ScratchDir::write(places().udevRules.at(0), etcRule));
        if (!usrRule.isEmpty())
            QVERIFY(ScratchDir::write(places().udevRules.at(1), usrRule));

        const KeyTypingSetup::Uinput uinput = inspect().uinput;
        QCOMPARE(uinput.rulePath, foundAt < 0 ? std::nullopt : std::optional(places().udevRules.at(foundAt)));
        QCOMPARE(uinput.group, group);
        QCOMPARE(uinput.groupExists, exists);
        QCOMPARE(uinput.inGroup, member);
        // Membership in this session implies it after the next login too.
        QVERIFY(!uinput.inGroup || uinput.inGroupAfterLogin);
        DebugLogRecorder::settle();
    }

    void display_data()
    {
        QTest::addColumn<QStringList>("xvfbArguments"); // ["none"]: no server
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("hasXTest");
        QTest::newRow("with XTEST") << QStringList() << true << true;
        QTest::newRow("without XTEST") << QStringList{u"-extension"_s, u"XTEST"_s} << true << false;
        QTest::newRow("nobody there") << QStringList{u"none"_s} << false << false;
    }
    void display()
    {
        if (!XvfbServer::isInstalled()) // a skip in a helper would not end the test
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        QFETCH(QStringList, xvfbArguments);
        QFETCH(bool, opens);
        QFETCH(bool, hasXTest);
        XvfbServer server;
        QByteArray name = QByteArrayLiteral(":65123");
        if (xvfbArguments != QStringList{u"none"_s}) {
            const auto error = server.start(QSize(320, 240), xvfbArguments);
            QVERIFY2(!error, qPrintable(error.value_or(QString())));
            name = server.displayName();
        }
        const KeyTypingSetup::Facts facts = inspect(environment({{u"DISPLAY"_s, QString::fromLatin1(name)}}));
        QCOMPARE(facts.display.name, QString::fromLatin1(name));
        QCOMPARE(facts.display.opens, opens);
        QCOMPARE(facts.display.hasXTest, hasXTest);
        QCOMPARE(facts.layout.source.isEmpty(), !opens);
    }

    // Where the trainer app's keys land when another layout moves them, each way of matching.
    void keysOnTheLayout()
    {
        if (!XvfbServer::isInstalled())
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        XvfbServer server;
        const auto error = server.start();
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        const QProcessEnvironment env =
            environment({{u"DISPLAY"_s, QString::fromLatin1(server.displayName())}});

        KeyTypingSetup::Facts facts = inspect(env);
        QCOMPARE(facts.layout.name, u"us"_s);
        QCOMPARE(facts.layout.source, u"the X display"_s);
        QCOMPARE(facts.placements.size(), 2);
        for (const auto& placement : facts.placements) {
            QVERIFY(placement.typesCharacter);
            QCOMPARE(placement.place, placement.key);
            QVERIFY(!placement.withShift);
        }

        // "." moves to Shift on the US "/" key; the US "." key types ":" now; "," stays.
        QVERIFY(server.remapKeys({{60, {"colon", "greater"}}, {61, {"slash", "period"}}}));
        facts = inspect(env, KeyMatching::character);
        QVERIFY(facts.placements.at(0).typesCharacter);
        QCOMPARE(facts.placements.at(0).place, VirtualKey::fromName(u"slash"_s));
        QVERIFY(facts.placements.at(0).withShift);
        QCOMPARE(facts.placements.at(1).place, VirtualKey::comma());

        facts = inspect(env, KeyMatching::physicalKey);
        QCOMPARE(facts.placements.at(0).place, VirtualKey::period());
        QVERIFY(!facts.placements.at(0).typesCharacter);
        QCOMPARE(facts.placements.at(0).types, u":"_s);
        QVERIFY(facts.placements.at(1).typesCharacter);
        QCOMPARE(facts.placements.at(1).types, u","_s);

        // No key types "." at all.
        QVERIFY(server.remapKeys({{61, {"slash", "question"}}}));
        facts = inspect(env, KeyMatching::character);
        QVERIFY(!facts.placements.at(0).typesCharacter);
        QVERIFY(facts.placements.at(1).typesCharacter);
    }

    // Without a display the console's layout is read; the keys go to their US places.
    void layoutWithoutADisplay_data()
    {
        QTest::addColumn<QByteArray>("keyboard"); // empty: no file
        QTest::addColumn<QString>("layout");
        QTest::newRow("one layout") << QByteArray("XKBMODEL=\"pc105\"\nXKBLAYOUT=\"de\"\nXKBVARIANT=\"\"\n")
                                    << u"de"_s;
        QTest::newRow("two, with a variant")
            << QByteArray("# comment\nXKBLAYOUT='de,us'\nXKBVARIANT=\"nodeadkeys,\"\n")
            << u"de(nodeadkeys),us"_s;
        QTest::newRow("no file") << QByteArray() << QString();
        QTest::newRow("no layout in it") << QByteArray("XKBMODEL=pc105\n") << QString();
        QTest::newRow("binary junk") << QByteArray("\x00\xffXKBLAYOUT\x00=", 14) << QString();
    }
    void layoutWithoutADisplay()
    {
        QFETCH(QByteArray, keyboard);
        QFETCH(QString, layout);
        if (!keyboard.isEmpty())
            QVERIFY(ScratchDir::write(places().keyboardDefaults, keyboard));
        const KeyTypingSetup::Facts facts = inspect({}, KeyMatching::character);
        QVERIFY(!facts.display.opens);
        QCOMPARE(facts.layout.name, layout);
        QCOMPARE(facts.layout.source, layout.isEmpty() ? QString() : places().keyboardDefaults);
        QCOMPARE(facts.placements.size(), 2);
        QCOMPARE(facts.placements.at(0).place, VirtualKey::period());
        QVERIFY(facts.placements.at(0).types.isEmpty());
    }

    // A rule or keyboard file that cannot be read (here: folders in their place) is logged, and
    // taken as a rule naming no group and no layout.
    void unreadableFilesAreLogged()
    {
        QVERIFY(QDir().mkpath(places().keyboardDefaults));
        QVERIFY(QDir().mkpath(places().udevRules.at(0)));
        DebugLogRecorder log;
        const KeyTypingSetup::Facts facts = inspect();
        DebugLogRecorder::settle();
        QVERIFY(facts.layout.name.isEmpty());
        QCOMPARE(facts.uinput.rulePath, places().udevRules.at(0));
        QCOMPARE(facts.uinput.group, QString());
        const QString logged = log.lines().join(QLatin1Char('\n'));
        QVERIFY2(logged.contains(u"Cannot read "_s + places().udevRules.at(0)), qPrintable(logged));
        QVERIFY2(logged.contains(u"Cannot read "_s + places().keyboardDefaults), qPrintable(logged));
    }
};

COGWISE_TEST(tst_KeyTypingInspector)
#include "tst_KeyTypingInspector.moc"
