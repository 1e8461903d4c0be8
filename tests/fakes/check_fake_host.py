#!/usr/bin/python3
'''Exercises the keyboard side of fake_bluez.py: a tiny HID keyboard GATT application,
advertisement and NoInputNoOutput agent, served with dbus-python, and the fake's host.

    /usr/bin/python3 tests/fakes/check_fake_host.py

starts its own dbus-daemon (a configuration without any servicedir: nothing is
activated) and the fake on it, runs the checks, stops both, and exits 0 when all passed.
'''

import os
import subprocess
import sys
import tempfile
import time

import dbus
import dbus.bus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, 'fake_bluez.py')
ADAPTER = '/org/bluez/hci0'
UNIT = ADAPTER + '/dev_C0_FF_EE_00_00_01'
CHAR = 'org.bluez.GattCharacteristic1'
DESC = 'org.bluez.GattDescriptor1'
SERVICE = 'org.bluez.GattService1'
DEADLINE_S = 10.0

BUS_CONFIG = '''<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:tmpdir=%s</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
    <allow user="*"/>
  </policy>
</busconfig>
'''

REPORT_MAP = bytes.fromhex('05010906A1018501050719E029E7150025017501950881029501750881019506750815002565050719002965'
                           '8100C0')
FAILURES = []


def full(short):
    return '0000%s-0000-1000-8000-00805f9b34fb' % short


def check(condition, what):
    print(('ok    ' if condition else 'FAIL  ') + what)
    if not condition:
        FAILURES.append(what)


def wait_until(condition, what, timeout=DEADLINE_S):
    '''Runs the main loop until condition() holds or the deadline passes.'''
    context = GLib.MainContext.default()
    end = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > end:
            check(False, what + ' (timed out)')
            return False
        context.iteration(False) or time.sleep(0.005)
    return True


def call_async(method, *args, timeout=DEADLINE_S):
    '''Calls without blocking the main loop (our objects keep being served); returns
    ('ok', value) or ('error', D-Bus error name).'''
    result = []
    method(*args, reply_handler=lambda *r: result.append(('ok', r[0] if r else None)),
           error_handler=lambda e: result.append(('error', e.get_dbus_name())), timeout=timeout)
    wait_until(lambda: result, 'answer to ' + getattr(method, '_method_name', 'call'), timeout + 1)
    return result[0] if result else ('error', 'none')


def dbus_error(func, *args, **kwargs):
    try:
        func(*args, **kwargs)
    except dbus.exceptions.DBusException as e:
        return e.get_dbus_name()
    return None


class Application(dbus.service.Object):
    def __init__(self, conn, path, objects):
        super().__init__(conn, path)
        self.objects = objects
        self.log = []

    @dbus.service.method('org.freedesktop.DBus.ObjectManager', out_signature='a{oa{sa{sv}}}')
    def GetManagedObjects(self):
        self.log.append('GetManagedObjects')
        return {o.path: o.interfaces() for o in self.objects}


class Attribute(dbus.service.Object):
    def __init__(self, conn, path, iface, props, value=b''):
        super().__init__(conn, path)
        self.path, self.iface, self.props, self.value = path, iface, props, value
        self.calls = []

    def interfaces(self):
        return {self.iface: self.props}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}')
    def GetAll(self, iface):
        return self.props

    @dbus.service.method(CHAR, in_signature='a{sv}', out_signature='ay')
    def ReadValue(self, options):
        offset = int(options.get('offset', 0))
        self.calls.append(('ReadValue', offset, int(options.get('mtu', 0)), str(options.get('device', ''))))
        if offset > len(self.value):
            raise dbus.exceptions.DBusException('Invalid offset', name='org.bluez.Error.InvalidOffset')
        return dbus.ByteArray(self.value[offset:])

    @dbus.service.method(CHAR, in_signature='', out_signature='')
    def StartNotify(self):
        self.calls.append(('StartNotify',))

    @dbus.service.method(CHAR, in_signature='', out_signature='')
    def StopNotify(self):
        self.calls.append(('StopNotify',))

    @dbus.service.signal(dbus.PROPERTIES_IFACE, signature='sa{sv}as')
    def PropertiesChanged(self, iface, changed, invalidated):
        pass

    def notify(self, value):
        self.PropertiesChanged(CHAR, {'Value': dbus.ByteArray(value)}, [])


class Descriptor(Attribute):
    @dbus.service.method(DESC, in_signature='a{sv}', out_signature='ay')
    def ReadValue(self, options):
        self.calls.append(('ReadValue', int(options.get('offset', 0))))
        return dbus.ByteArray(self.value)


class Advertisement(dbus.service.Object):
    def __init__(self, conn, path, props):
        super().__init__(conn, path)
        self.props = props
        self.log = []

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}')
    def GetAll(self, iface):
        self.log.append('GetAll ' + iface)
        return self.props

    @dbus.service.method('org.bluez.LEAdvertisement1', in_signature='', out_signature='')
    def Release(self):
        self.log.append('Release')


class Agent(dbus.service.Object):
    def __init__(self, conn, path):
        super().__init__(conn, path)
        self.calls = []
        self.refuse = False

    @dbus.service.method('org.bluez.Agent1', in_signature='o', out_signature='')
    def RequestAuthorization(self, device):
        self.calls.append(('RequestAuthorization', str(device)))
        if self.refuse:
            raise dbus.exceptions.DBusException('Rejected', name='org.bluez.Error.Rejected')

    @dbus.service.method('org.bluez.Agent1', in_signature='ou', out_signature='')
    def RequestConfirmation(self, device, passkey):
        self.calls.append(('RequestConfirmation', str(device)))

    @dbus.service.method('org.bluez.Agent1', in_signature='', out_signature='')
    def Cancel(self):
        self.calls.append(('Cancel',))

    @dbus.service.method('org.bluez.Agent1', in_signature='', out_signature='')
    def Release(self):
        self.calls.append(('Release',))


def keyboard(conn, root, broken=False):
    '''A minimal HID keyboard: an output report first, so a host that takes the first
    Report without its Report Reference picks the wrong one.'''
    svc = root + '/service0'
    objects = [Attribute(conn, svc, SERVICE, {'UUID': full('1812'), 'Primary': True})]

    def chrc(n, uuid, flags, value=b''):
        props = {'UUID': full(uuid), 'Service': dbus.ObjectPath(svc), 'Flags': dbus.Array(flags, signature='s')}
        if broken and uuid == '2a4a':
            del props['Flags']
        obj = Attribute(conn, '%s/char%d' % (svc, n), CHAR, props, value)
        objects.append(obj)
        return obj

    def desc(parent, n, uuid, value):
        obj = Descriptor(conn, '%s/desc%d' % (parent.path, n), DESC,
                         {'UUID': full(uuid), 'Characteristic': dbus.ObjectPath(parent.path),
                          'Flags': dbus.Array(['read', 'encrypt-read'], signature='s')}, value)
        objects.append(obj)
        return obj

    chrc(0, '2a4a', ['read', 'encrypt-read'], bytes([0x11, 0x01, 0x00, 0x02]))
    report_map = chrc(1, '2a4b', ['read', 'encrypt-read'], REPORT_MAP)
    chrc(2, '2a4c', ['write-without-response', 'encrypt-write'])
    chrc(3, '2a4e', ['read', 'write-without-response'], bytes([1]))
    output = chrc(4, '2a4d', ['read', 'write', 'write-without-response', 'encrypt-read', 'encrypt-write'], bytes([0]))
    desc(output, 0, '2908', bytes([1, 2]))
    report = chrc(5, '2a4d', ['read', 'notify', 'encrypt-read', 'encrypt-notify'], bytes(8))
    desc(report, 0, '2908', bytes([1, 1]))
    app = Application(conn, root, objects)
    return app, report_map, output, report


def start_bus(workdir):
    config = os.path.join(workdir, 'bus.conf')
    with open(config, 'w') as f:
        f.write(BUS_CONFIG % workdir)
    daemon = subprocess.Popen(['dbus-daemon', '--config-file=' + config, '--nofork', '--print-address=1'],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    address = daemon.stdout.readline().decode().strip()
    return daemon, address


def main():
    workdir = tempfile.mkdtemp(prefix='check-fake-host-')
    daemon, address = start_bus(workdir)
    env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=address)
    fake = subprocess.Popen(['/usr/bin/python3', '-m', 'dbusmock', '--system', '--template', TEMPLATE],
                            env=env, stdout=subprocess.DEVNULL)
    try:
        run(address)
    finally:
        fake.terminate()
        fake.wait(5)
        daemon.terminate()
        daemon.wait(5)
    print('%d check(s) failed' % len(FAILURES) if FAILURES else 'all checks passed')
    return 1 if FAILURES else 0


def run(address):
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    conn = dbus.bus.BusConnection(address)
    if not wait_until(lambda: conn.name_has_owner('org.bluez'), 'the fake owns org.bluez'):
        return
    bluez = lambda path, iface: dbus.Interface(conn.get_object('org.bluez', path), iface)
    mock = bluez('/', 'org.bluez.Mock')
    gatt = bluez(ADAPTER, 'org.bluez.GattManager1')
    adv = bluez(ADAPTER, 'org.bluez.LEAdvertisingManager1')
    agents = bluez('/org/bluez', 'org.bluez.AgentManager1')
    props = lambda path: bluez(path, dbus.PROPERTIES_IFACE)

    # -- agents: a desktop agent is default before us, and gets it back afterwards
    desktop = (str(mock.DesktopAgentName()), '/org/desktop/BluetoothAgent')
    check(tuple(mock.DefaultAgent()) == desktop, 'the desktop agent is the default at start')
    agent = Agent(conn, '/check/agent')
    check(dbus_error(agents.RequestDefaultAgent, '/check/agent') == 'org.bluez.Error.DoesNotExist',
          'RequestDefaultAgent before RegisterAgent: DoesNotExist')
    other = dbus.bus.BusConnection(address)
    check(dbus_error(dbus.Interface(other.get_object('org.bluez', '/org/bluez'), 'org.bluez.AgentManager1')
                     .RegisterAgent, '/x', 'Telepathy') == 'org.bluez.Error.InvalidArguments',
          'an unknown capability: InvalidArguments')
    agents.RegisterAgent('/check/agent', 'NoInputNoOutput')
    check(dbus_error(agents.RegisterAgent, '/check/agent', 'NoInputNoOutput') == 'org.bluez.Error.AlreadyExists',
          'a second RegisterAgent by the same sender: AlreadyExists')
    agents.RequestDefaultAgent('/check/agent')
    check(tuple(mock.DefaultAgent()) == (conn.get_unique_name(), '/check/agent'), 'our agent became the default')

    # -- the GATT application: answered only after GetManagedObjects
    app, report_map, output, report = keyboard(conn, '/check/app')
    outcome = call_async(gatt.RegisterApplication, '/check/app', {})
    check(outcome == ('ok', None), 'RegisterApplication answered: %s' % (outcome,))
    check(app.log == ['GetManagedObjects'], 'the fake read the application before it answered')
    check(mock.RegisteredApplications() == 1, 'one application registered')
    outcome = call_async(gatt.RegisterApplication, '/check/app', {})
    check(outcome == ('error', 'org.bluez.Error.AlreadyExists'), 'the same application twice: AlreadyExists')
    keyboard(conn, '/check/broken', broken=True)
    outcome = call_async(gatt.RegisterApplication, '/check/broken', {})
    check(outcome == ('error', 'org.bluez.Error.Failed'), 'a characteristic without Flags: Failed (%s)' % (outcome,))
    check(dbus_error(gatt.UnregisterApplication, '/check/nothing') == 'org.bluez.Error.DoesNotExist',
          'UnregisterApplication of an unknown path: DoesNotExist')

    # -- advertising
    ad_props = {'Type': 'peripheral', 'ServiceUUIDs': dbus.Array([full('1812')], signature='s'),
                'Appearance': dbus.UInt16(0x03C1), 'Discoverable': True, 'LocalName': 'Cogwise'}
    ad = Advertisement(conn, '/check/ad', ad_props)
    outcome = call_async(adv.RegisterAdvertisement, '/check/ad', {})
    check(outcome == ('ok', None) and ad.log == ['GetAll org.bluez.LEAdvertisement1'],
          'RegisterAdvertisement answered after GetAll: %s %s' % (outcome, ad.log))
    recorded = mock.AdvertisementProperties()
    check(str(recorded.get('LocalName')) == 'Cogwise' and int(recorded.get('Appearance')) == 0x03C1,
          'the advertisement is recorded')
    check(int(props(ADAPTER).Get('org.bluez.LEAdvertisingManager1', 'ActiveInstances')) == 1, 'one active instance')
    long_name = Advertisement(conn, '/check/long_name', dict(ad_props, LocalName='Cogwise keyboard for a very long ride'))
    outcome = call_async(adv.RegisterAdvertisement, '/check/long_name', {})
    check(outcome == ('ok', None) and len(str(mock.AdvertisedName())) < len('Cogwise keyboard for a very long ride'),
          'a too long LocalName is shortened, not refused (%s, %r)' % (outcome, str(mock.AdvertisedName())))
    adv.UnregisterAdvertisement('/check/long_name')
    Advertisement(conn, '/check/too_long', dict(ad_props, ManufacturerData=dbus.Dictionary(
        {dbus.UInt16(0xFFFF): dbus.ByteArray(bytes(20))}, signature='qv')))
    outcome = call_async(adv.RegisterAdvertisement, '/check/too_long', {})
    check(outcome == ('error', 'org.bluez.Error.Failed'), 'more than 31 bytes of data: Failed (%s)' % (outcome,))
    Advertisement(conn, '/check/bad_type', dict(ad_props, Type='loud'))
    outcome = call_async(adv.RegisterAdvertisement, '/check/bad_type', {})
    check(outcome[0] == 'error', 'an unknown Type is refused (%s)' % (outcome,))

    # -- a host pairs: our agent is asked, the host reads and subscribes
    outcome = call_async(mock.HostPair, 'iPad')
    check(outcome == ('ok', True), 'the host paired: %s' % (outcome,))
    check([c[0] for c in agent.calls] == ['RequestAuthorization'], 'our agent was asked RequestAuthorization: %s' % agent.calls)
    device = agent.calls[0][1] if agent.calls else ''
    dev = props(device).GetAll('org.bluez.Device1') if device else {}
    check(dev.get('Paired') and dev.get('Bonded') and dev.get('Connected') and not dev.get('Trusted'),
          'the host is Paired, Bonded, Connected, not Trusted')
    check(str(dev.get('Address', '')).startswith('F0:0D') and not list(dev.get('UUIDs', [])),
          'the host has its own address and no service of ours')
    check(not mock.DesktopAgentRequests(), 'the desktop agent was not asked')
    wait_until(lambda: mock.HostIdle() and mock.HostSubscribed(), 'the host subscribed')
    reads = [(str(u), int(o)) for u, o in mock.HostReads()]
    map_reads = [o for u, o in reads if u == '2a4b']
    check(map_reads == [0, 22, 44], 'the Report Map was read by offsets 0, 22, 44: %s' % map_reads)
    check([c[1] for c in report_map.calls] == [0, 22, 44] and all(c[2] == 23 for c in report_map.calls),
          'the application saw those offsets with mtu 23')
    check(bytes(mock.HostReportMap()) == REPORT_MAP, 'the host assembled the whole Report Map')
    wait_until(lambda: ('StartNotify',) in report.calls, 'StartNotify reached the input report')
    check(report.calls.count(('StartNotify',)) == 1 and ('StartNotify',) not in output.calls,
          'StartNotify on the input report (found by its Report Reference) only')
    check(mock.HostReadError() == '', 'no read failed')

    # -- reports in order
    press, release = bytes([0, 0, 0x37, 0, 0, 0, 0, 0]), bytes(8)
    report.notify(press)
    report.notify(release)
    wait_until(lambda: len(mock.HostReports()) >= 2, 'two reports arrived')
    check([bytes(r) for r in mock.HostReports()] == [press, release], 'the reports arrived in order')
    times = list(mock.HostReportTimes())
    check(len(times) == 2 and times[0] <= times[1], 'the reports have time stamps')

    # -- the host leaves and comes back: bonded, so no StopNotify and no new StartNotify
    mock.HostDisconnect()
    check(not props(device).Get('org.bluez.Device1', 'Connected'), 'the host left')
    report.notify(press)
    check(len(mock.HostReports()) == 2, 'a report while the host is away is not received')
    check(mock.HostConnect('iPad'), 'the host connects again')
    wait_until(lambda: mock.HostIdle(), 'the host finished its reads')
    check(report.calls.count(('StartNotify',)) == 1 and ('StopNotify',) not in report.calls,
          'the kept subscription: no StopNotify, no second StartNotify')
    report.notify(release)
    wait_until(lambda: len(mock.HostReports()) >= 3, 'a report after the return arrived')

    # -- a controller that cannot be central while a host is connected
    mock.SetRefuseCentralWhileHostConnected(True)
    unit = bluez(UNIT, 'org.bluez.Device1')
    outcome = call_async(unit.Connect)
    check(outcome == ('error', 'org.bluez.Error.Failed'), 'Connect to the unit fails while a host is connected')
    mock.HostDisconnect()
    check(call_async(unit.Connect) == ('ok', None), 'Connect to the unit works once the host left')

    # -- a host whose pairing the agent refuses
    agent.refuse = True
    outcome = call_async(mock.HostPair, 'Apple TV')
    check(outcome == ('ok', False), 'a refused pairing: false')
    tv = [p for p in bluez('/', 'org.freedesktop.DBus.ObjectManager').GetManagedObjects()
          if p.startswith(ADAPTER + '/dev_F0_0D') and p != device]
    tv_props = props(tv[0]).GetAll('org.bluez.Device1') if tv else {}
    check(tv and not tv_props.get('Paired') and not tv_props.get('Connected'), 'the refused host is neither paired nor connected')

    # -- the default agent is handed back
    agents.UnregisterAgent('/check/agent')
    check(tuple(mock.DefaultAgent()) == desktop, 'after UnregisterAgent the desktop agent is default again')
    check(dbus_error(agents.UnregisterAgent, '/check/agent') == 'org.bluez.Error.DoesNotExist',
          'UnregisterAgent twice: DoesNotExist')

    # -- a blocking registration from the thread that serves the application deadlocks
    blocking = dbus.bus.BusConnection(address)
    keyboard(blocking, '/check/blocking')
    blocking_gatt = dbus.Interface(blocking.get_object('org.bluez', ADAPTER), 'org.bluez.GattManager1')
    error_name = dbus_error(blocking_gatt.RegisterApplication, '/check/blocking', {}, timeout=1.0)
    check(error_name == 'org.freedesktop.DBus.Error.NoReply', 'a blocking RegisterApplication never gets its answer: %s' % error_name)
    blocking.close()
    wait_until(lambda: mock.RegisteredApplications() == 1, 'an application whose owner left is dropped')
    check(mock.RegisteredApplications() == 1, 'only our application stays registered')


if __name__ == '__main__':
    sys.exit(main())
