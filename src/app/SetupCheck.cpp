#include "app/SetupCheck.h"

#include "bluetooth/ConnectionService.h"
#include "shifting/KeySink.h"
#include "shifting/KeySinkNames.h"
#include "shifting/RemoteKeySink.h"
#include "shifting/UserDefaultsManager.h"

#include <algorithm>

namespace {

using Line = SetupCheck::Line;
using Heard = BluetoothSetup::Heard;
using Session = KeyTypingSetup::Session;

Line passed(const QString& label)
{
    return {true, false, label, {}};
}

Line failed(const QString& label, const QString& advice)
{
    return {false, false, label, advice};
}

Line requiredLine(Line line)
{
    line.required = true;
    return line;
}

// From `from` on, failed lines on a way of typing other than the one in use: information.
void setAside(QList<Line>& lines, qsizetype from, bool aside, const QString& way)
{
    if (!aside)
        return;
    for (qsizetype i = from; i < lines.size(); ++i) {
        if (lines[i].ok)
            continue;
        lines[i].informational = true;
        lines[i].advice = QStringLiteral("Only needed to type through %1: %2").arg(way, lines[i].advice);
    }
}

QString quoted(const QString& text)
{
    return QStringLiteral("“") + text + QStringLiteral("”");
}

const QString startBluetoothd = QStringLiteral("Start bluetoothd (above), then check again.");

QList<Line> bluetoothLines(const BluetoothSetup::Facts& facts, bool unitSaved, bool listen)
{
    QList<Line> lines;
    if (!facts.busReachable) {
        lines.append(
            requiredLine(failed(QStringLiteral("The system D-Bus is not reachable"),
                                QStringLiteral("Start it, then bluetoothd: sudo systemctl start dbus "
                                               "bluetooth."))));
    } else if (!facts.serviceRunning) {
        lines.append(
            requiredLine(failed(QStringLiteral("bluetoothd is not running on the system bus"),
                                QStringLiteral("Install and start it: sudo apt install bluez && sudo "
                                               "systemctl enable --now bluetooth."))));
    } else if (facts.serviceVersion.isEmpty()) {
        lines.append(
            requiredLine(passed(QStringLiteral("bluetoothd is running (its version could not be read)"))));
    } else {
        lines.append(requiredLine(passed(QStringLiteral("bluetoothd %1 is running (version from %2)")
                                             .arg(facts.serviceVersion, facts.versionSource))));
    }
    const bool running = facts.busReachable && facts.serviceRunning;

    if (!running) {
        lines.append(requiredLine(
            failed(QStringLiteral("Bluetooth adapter: not checked without bluetoothd"), startBluetoothd)));
    } else if (facts.adapter.isEmpty()) {
        lines.append(
            requiredLine(failed(QStringLiteral("No Bluetooth adapter"),
                                QStringLiteral("Plug in a Bluetooth 4.0 (LE) adapter, or unblock the "
                                               "built-in one: rfkill unblock bluetooth."))));
    } else {
        lines.append(requiredLine(
            passed(QStringLiteral("Bluetooth adapter %1 (%2)").arg(facts.adapter, facts.adapterAddress))));
        if (facts.adapterPowered) {
            lines.append(requiredLine(passed(QStringLiteral("%1 is switched on").arg(facts.adapter))));
        } else {
            lines.append(
                requiredLine(failed(QStringLiteral("%1 is switched off").arg(facts.adapter),
                                    QStringLiteral("Switch Bluetooth on in the desktop's settings, or "
                                                   "run: bluetoothctl power on."))));
        }
    }

    const QString unitName = facts.unitName.isEmpty() ? QStringLiteral("Your unit") : facts.unitName;
    if (!unitSaved) {
        lines.append(
            failed(QStringLiteral("No Di2 unit saved yet"),
                   QStringLiteral("Connect to your unit once in the window, or run: cogwise --device "
                                  "ADDRESS.")));
    } else if (!facts.unitAddress) {
        lines.append(failed(QStringLiteral("The saved unit has no Bluetooth address"),
                            QStringLiteral("Connect to your unit again in the window.")));
    } else if (!running) {
        lines.append(
            failed(QStringLiteral("Your unit %1: not checked without bluetoothd").arg(*facts.unitAddress),
                   startBluetoothd));
    } else if (facts.unitKnown) {
        lines.append(
            passed(QStringLiteral("%1 (%2) is known to bluetoothd").arg(unitName, *facts.unitAddress)));
    } else {
        lines.append(failed(QStringLiteral("Your unit %1 is not known to bluetoothd").arg(*facts.unitAddress),
                            QStringLiteral("Press a shifter button near the computer: Cogwise finds the unit "
                                           "when it advertises.")));
    }

    switch (facts.heard) {
    case Heard::advertising:
        lines.append(passed(
            facts.rssi ? QStringLiteral("%1 is advertising now (%2 dBm)").arg(unitName).arg(*facts.rssi)
                       : QStringLiteral("%1 is advertising now").arg(unitName)));
        break;
    case Heard::connected:
        lines.append(passed(QStringLiteral("%1 is connected now").arg(unitName)));
        break;
    case Heard::silent:
        lines.append(
            failed(QStringLiteral("%1 was not heard advertising just now").arg(unitName),
                   QStringLiteral("Press a shifter button to wake it, and keep it within a few metres of "
                                  "the adapter.")));
        break;
    case Heard::notListened:
        if (listen && running && unitSaved && facts.unitAddress) {
            lines.append(failed(QStringLiteral("Not listened for your unit: the adapter is off or missing"),
                                QStringLiteral("Fix the adapter (above), then check again.")));
        }
        break;
    }
    return lines;
}

QString sinkName(const KeySink& sink)
{
    return KeySinkNames::listed(sink.name());
}

const QString joinGroupAdvice =
    QStringLiteral("Join it: sudo usermod -aG %1 $USER, then log out and in again.");
const QString setUpUinput = QStringLiteral(
    "Set up uinput as the README's \"Letting Cogwise type keys\" shows, then restart Cogwise.");

// Keys for another device: the keyboard served, its adapter's roles, the hosts, and whether one takes keys.
QList<Line> keyboardLines(const RemoteKeySink& keyboard, const QString& reason)
{
    QList<Line> lines;
    if (!keyboard.ready())
        return {requiredLine(failed(
            QStringLiteral("Cogwise's Bluetooth keyboard is not served: %1")
                .arg(keyboard.unavailableReason().value_or(
                    QStringLiteral("bluetoothd did not answer in time."))),
            QStringLiteral(
                "Switch Bluetooth on (bluetoothctl power on) and make sure bluetoothd runs, then check "
                "again.")))};
    const QString adapter = keyboard.adapter();
    lines.append(requiredLine(passed(QStringLiteral("Keys go to %1 on %2: %3")
                                         .arg(KeySinkNames::listed(keyboard.name()), adapter, reason))));
    lines.append(
        passed(QStringLiteral("Bluetooth adapters: %1").arg(keyboard.adapters().join(QStringLiteral(", ")))));
    const QStringList roles = keyboard.adapterRoles();
    if (roles.contains(QStringLiteral("central-peripheral")))
        lines.append(
            passed(QStringLiteral("%1 can reach the unit while a device is connected to the keyboard")
                       .arg(adapter)));
    else if (!roles.isEmpty())
        lines.append(failed(
            QStringLiteral("%1 may not reach the unit while a device is connected to the keyboard")
                .arg(adapter),
            QStringLiteral("If the unit does not connect while the device does, give the keyboard a second "
                           "adapter in Settings → Keys.")));
    if (keyboard.hosts().isEmpty())
        lines.append(failed(QStringLiteral("No device is paired with Cogwise's keyboard"),
                            QStringLiteral("Pair one: cogwise --pair, then choose “Cogwise” in the device's "
                                           "Bluetooth settings.")));
    for (const RemoteKeySink::Host& host : keyboard.hosts())
        lines.append(passed(QStringLiteral("%1 (%2) is paired%3")
                                .arg(host.name, host.address,
                                     host.connected ? QStringLiteral(" and connected") : QString())));
    if (keyboard.canPostKeys())
        lines.append(passed(keyboard.status()));
    else if (!keyboard.hosts().isEmpty())
        lines.append(failed(keyboard.status(),
                            QStringLiteral("Switch on the device's Bluetooth and keep it near; a device that "
                                           "does not ask for keys needs to pair again.")));
    return lines;
}

QList<Line> keySinkLines(const KeyTypingSetup::Facts& facts, const KeySink& sink, const QString& reason)
{
    if (const auto* keyboard = qobject_cast<const RemoteKeySink*>(&sink);
        keyboard && keyboard->sendsToDevice())
        return keyboardLines(*keyboard, reason);
    QList<Line> lines;
    if (const auto unavailable = sink.unavailableReason()) {
        if (!qEnvironmentVariableIsEmpty("COGWISE_KEY_SINK"))
            lines.append(requiredLine(failed(
                QStringLiteral("Cogwise cannot type keys: %1").arg(*unavailable),
                QStringLiteral("Unset COGWISE_KEY_SINK to let Cogwise choose, or fix what it says."))));
        else
            // The lines on uinput and XTest below say more of what each lacks.
            lines.append(requiredLine(
                failed(QStringLiteral("Cogwise cannot type keys: %1").arg(*unavailable), setUpUinput)));
    } else {
        lines.append(requiredLine(
            passed(QStringLiteral("Keys are typed through %1: %2").arg(sinkName(sink), reason))));
    }
    switch (sink.consent()) {
    case KeySink::Consent::notAsked:
        lines.append(
            passed(QStringLiteral("The desktop asks you once to let Cogwise type keys, when you switch "
                                  "on keyboard emulation")));
        break;
    case KeySink::Consent::asking:
        lines.append(failed(QStringLiteral("The desktop is asking you to let Cogwise type keys"),
                            QStringLiteral("Answer the desktop's dialog.")));
        break;
    case KeySink::Consent::granted:
        lines.append(passed(QStringLiteral("The desktop lets Cogwise type keys")));
        break;
    case KeySink::Consent::refused:
    case KeySink::Consent::notNeeded:
        break;
    }

    // Typing works: what another way of typing lacks does not matter now.
    const bool typing = !sink.unavailableReason();
    const qsizetype uinputFrom = lines.size();
    const KeyTypingSetup::Uinput& uinput = facts.uinput;
    if (!uinput.deviceExists) {
        lines.append(failed(QStringLiteral("%1 does not exist").arg(uinput.devicePath),
                            QStringLiteral("Load the module: sudo modprobe uinput.")));
    } else if (uinput.openError) {
        QString advice;
        if (!uinput.rulePath)
            advice =
                QStringLiteral("Install Cogwise's udev rule (the package does) and join the group it names, "
                               "as the README shows.");
        else if (!uinput.group.isEmpty() && !uinput.inGroup)
            advice = joinGroupAdvice.arg(uinput.group);
        else
            advice = QStringLiteral(
                         "Apply the udev rule: sudo udevadm control --reload && sudo udevadm trigger %1.")
                         .arg(uinput.devicePath);
        lines.append(failed(
            QStringLiteral("Cogwise may not write to %1 (%2)").arg(uinput.devicePath, *uinput.openError),
            advice));
    } else {
        lines.append(passed(QStringLiteral("Cogwise may write to %1").arg(uinput.devicePath)));
    }

    if (uinput.moduleLoaded)
        lines.append(passed(QStringLiteral("The uinput module is loaded")));
    else
        lines.append(
            failed(QStringLiteral("The uinput module is not loaded"),
                   QStringLiteral("Load it with sudo modprobe uinput; the package loads it at every boot.")));

    if (!uinput.rulePath) {
        lines.append(
            failed(QStringLiteral("Cogwise's udev rule for uinput is not installed"),
                   QStringLiteral("Install the package, or copy packaging/60-cogwise-uinput.rules to "
                                  "/etc/udev/rules.d/ as the README shows.")));
    } else if (uinput.group.isEmpty()) {
        lines.append(failed(QStringLiteral("%1 gives uinput to no group").arg(*uinput.rulePath),
                            QStringLiteral("Replace it with the rule that comes with Cogwise.")));
    } else {
        lines.append(passed(QStringLiteral("The udev rule gives uinput to the group %1 (%2)")
                                .arg(quoted(uinput.group), *uinput.rulePath)));
    }

    if (!uinput.group.isEmpty()) {
        const QString group = quoted(uinput.group);
        if (uinput.inGroup)
            lines.append(passed(QStringLiteral("You are in the group %1").arg(group)));
        else if (uinput.inGroupAfterLogin)
            lines.append(
                failed(QStringLiteral("You were added to the group %1 after this session started").arg(group),
                       QStringLiteral("Log out and in again.")));
        else if (!uinput.groupExists)
            lines.append(
                failed(QStringLiteral("The group %1 does not exist").arg(group),
                       QStringLiteral("Create and join it: sudo groupadd --system %1 && sudo usermod -aG "
                                      "%1 $USER, then log out and in again.")
                           .arg(uinput.group)));
        else
            lines.append(failed(QStringLiteral("You are not in the group %1").arg(group),
                                joinGroupAdvice.arg(uinput.group)));
    }

    const QString uinputName = QStringLiteral("uinput");
    setAside(lines, uinputFrom, typing && sink.name() != uinputName, KeySinkNames::listed(uinputName));

    const qsizetype displayFrom = lines.size();
    const KeyTypingSetup::Display& display = facts.display;
    if (display.name.isEmpty())
        lines.append(
            failed(QStringLiteral("No X display for XTest (DISPLAY is not set)"),
                   QStringLiteral("XTest needs an X11 session or XWayland; without one Cogwise types "
                                  "through uinput.")));
    else if (!display.opens)
        lines.append(failed(QStringLiteral("Cannot open the X display %1").arg(display.name),
                            QStringLiteral("Check DISPLAY, and that this user may use the display.")));
    else if (!display.hasXTest)
        lines.append(
            failed(QStringLiteral("The X display %1 lacks the XTEST extension").arg(display.name),
                   QStringLiteral("Enable XTEST in the X server's configuration, or set up uinput.")));
    else
        lines.append(passed(QStringLiteral("The X display %1 has the XTEST extension").arg(display.name)));
    const QString xtestName = QStringLiteral("xtest");
    setAside(lines, displayFrom, typing && sink.name() != xtestName, KeySinkNames::listed(xtestName));

    const bool uinputInUse = sink.name() == QLatin1String("uinput") && sink.canPostKeys();
    const bool xtestInUse = sink.name() == QLatin1String("xtest") && sink.canPostKeys();
    const bool portalInUse = sink.name() == QLatin1String("portal") && sink.canPostKeys();
    switch (facts.session) {
    case Session::x11:
        lines.append(
            passed(QStringLiteral("X11 session: a trainer app under Wine or in a browser gets the keys "
                                  "alike")));
        break;
    case Session::waylandWithXwayland:
        if (xtestInUse)
            lines.append(failed(
                QStringLiteral("Wayland session: XTest reaches only XWayland windows, so a trainer "
                               "app under Wine gets the keys but a browser running on Wayland does "
                               "not"),
                QStringLiteral("Set up uinput as the README shows, so that keys reach every window.")));
        else if (uinputInUse)
            lines.append(
                passed(QStringLiteral("Wayland session with XWayland: uinput reaches a trainer app under "
                                      "Wine and one in a browser alike")));
        else if (portalInUse)
            lines.append(
                passed(QStringLiteral("Wayland session with XWayland: the remote-desktop portal "
                                      "reaches a trainer app under Wine and one in a browser alike")));
        else
            lines.append(
                failed(QStringLiteral("Wayland session with XWayland: nothing types keys yet"), setUpUinput));
        break;
    case Session::wayland:
        if (uinputInUse)
            lines.append(passed(QStringLiteral("Wayland session: uinput reaches every window")));
        else if (portalInUse)
            lines.append(
                passed(QStringLiteral("Wayland session: the remote-desktop portal reaches every window")));
        else
            lines.append(
                failed(QStringLiteral("Wayland session without XWayland: only uinput or the desktop's "
                                      "remote-desktop portal can type keys here"),
                       setUpUinput));
        break;
    case Session::none:
        lines.append(
            failed(QStringLiteral("No desktop session here (neither X11 nor Wayland)"),
                   QStringLiteral("Run cogwise --check in a terminal of your desktop session to see what "
                                  "the trainer app will get.")));
        break;
    }
    return lines;
}

QList<Line> layoutLines(const KeyTypingSetup::Facts& facts, const TrainerApp& app, KeyMatching matching)
{
    QList<Line> lines;
    const QString layout = facts.layout.name;
    if (layout.isEmpty())
        lines.append(
            failed(QStringLiteral("Keyboard layout unknown (no X display, no /etc/default/keyboard)"),
                   QStringLiteral("Cogwise presses the keys where a US keyboard has them: check the keys "
                                  "below against your keyboard.")));
    else
        lines.append(passed(QStringLiteral("Keyboard layout %1 (from %2)").arg(layout, facts.layout.source)));

    const QStringList shifts{QStringLiteral("Shift up"), QStringLiteral("Shift down")};
    for (qsizetype i = 0; i < facts.placements.size() && i < shifts.size(); ++i) {
        const KeyTypingSetup::Placement& placement = facts.placements.at(i);
        const QString character = quoted(placement.key.label());
        const QString who = QStringLiteral("%1 (%2)").arg(shifts.at(i), app.name);
        const QString place =
            placement.place
                ? QStringLiteral("the key where a US keyboard has %1").arg(quoted(placement.place->label()))
                : QStringLiteral("a key US keyboards lack");
        if (matching == KeyMatching::character) {
            if (!placement.typesCharacter)
                lines.append(requiredLine(
                    failed(QStringLiteral("%1: the layout %2 has no key for %3").arg(who, layout, character),
                           QStringLiteral(
                               "Choose \"Send the physical key\" in Settings → Keys, or keys your layout has "
                               "(Trainer app: Custom)."))));
            else if (placement.types.isEmpty())
                lines.append(passed(QStringLiteral("%1 presses %2").arg(who, place)));
            else
                lines.append(
                    passed(QStringLiteral("%1 types %2 with %3%4")
                               .arg(who, character,
                                    placement.withShift ? QStringLiteral("Shift + ") : QString(), place)));
        } else if (!placement.typesCharacter) {
            lines.append(
                failed(QStringLiteral("%1 presses %2, which types %3 on this layout")
                           .arg(who, place, quoted(placement.types)),
                       QStringLiteral("If the trainer app does not shift, choose \"Send the key that types "
                                      "this character\" in Settings → Keys.")));
        } else {
            lines.append(passed(QStringLiteral("%1 presses %2").arg(who, place)));
        }
    }
    return lines;
}

} // namespace

SetupCheck::SetupCheck(const Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_chosenSink(services.keySink.name())
{
    connect(&m_services.bluetooth, &BluetoothSetup::inspected, this, &SetupCheck::bluetoothInspected);
}

void SetupCheck::start(bool listen)
{
    if (m_running)
        return;
    m_running = true;
    m_listen = listen;

    // Read now, while Bluetooth is asked: quick, and what the rider sees as the check starts.
    const UserDefaultsManager storage(m_services.defaults);
    const TrainerApp& app = storage.trainerApp();
    const KeyMatching matching = m_services.keySink.keyMatching();
    const KeyTypingSetup::Facts keyFacts = m_services.keyTyping.inspect(
        {storage.shiftKey(KeyboardAction::shiftUp), storage.shiftKey(KeyboardAction::shiftDown)}, matching);
    const QString reason = m_services.keySink.name() == m_chosenSink
                               ? m_services.keySinkReason
                               : QStringLiteral("the desktop did not let Cogwise type through its portal.");
    m_keyLines = keySinkLines(keyFacts, m_services.keySink, reason);
    // Another device's own layout decides what its keys type.
    if (m_services.keySink.destination().isEmpty())
        m_keyLines += layoutLines(keyFacts, app, matching);

    const std::optional<QUuid> unit = ConnectionService::savedUnit(m_services.defaults);
    m_unitSaved = unit.has_value();
    m_services.bluetooth.inspect(unit, listen);
}

void SetupCheck::bluetoothInspected(const BluetoothSetup::Facts& facts)
{
    if (!m_running)
        return;
    QList<Line> bluetooth = bluetoothLines(facts, m_unitSaved, m_listen);
    if (m_services.simulatedUnit) {
        for (Line& line : bluetooth) {
            line.required = false;
            if (!line.ok) {
                line.informational = true;
                line.advice = QStringLiteral("Only needed to ride your own unit: %1").arg(line.advice);
            }
        }
        bluetooth.prepend(passed(QStringLiteral("The unit is simulated: this ride needs no Bluetooth")));
    }
    m_lines = bluetooth + m_keyLines;
    m_running = false;
    Q_EMIT finished();
}

bool SetupCheck::readyToRide() const
{
    return !m_lines.isEmpty() && std::none_of(m_lines.cbegin(), m_lines.cend(),
                                              [](const Line& line) { return line.required && !line.ok; });
}

QString SetupCheck::summary() const
{
    if (m_lines.isEmpty())
        return {};
    const auto blocking = std::find_if(m_lines.cbegin(), m_lines.cend(),
                                       [](const Line& line) { return line.required && !line.ok; });
    if (blocking != m_lines.cend())
        return QStringLiteral("Not ready to ride: fix the ✗ lines, first of all “%1”.").arg(blocking->label);
    const bool allPassed = std::all_of(m_lines.cbegin(), m_lines.cend(),
                                       [](const Line& line) { return line.ok || line.informational; });
    return allPassed ? QStringLiteral("Ready to ride: everything needed is in place.")
                     : QStringLiteral("Ready to ride; the ✗ lines tell what else could go wrong.");
}

QString SetupCheck::format(const Line& line)
{
    if (line.ok)
        return QStringLiteral("✓ ") + line.label;
    return (line.informational ? QStringLiteral("ℹ ") : QStringLiteral("✗ ")) + line.label +
           QStringLiteral(" — ") + line.advice;
}
