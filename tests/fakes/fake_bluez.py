'''A fake bluetoothd 5.66 for tests: one adapter, a remembered Di2 unit with a GATT database, a
neighbour that turns up while scanning, an optional second unit of the same model, and remote
hosts (an iPad) for Cogwise's Bluetooth keyboard.

Loaded by python3-dbusmock:  python3 -m dbusmock --system --template fake_bluez.py
Stopping this process and starting it again is bluetoothd going away and coming back: the
hosts are forgotten. Control it through the org.bluez.Mock interface of "/":

  SetAsleep(b)             the unit stops (true) or starts advertising. Connect to an asleep unit
                           waits, as the kernel's passive scan does, until it wakes or the connect
                           limit passes (org.bluez.Error.Failed "le-connection-abort-by-local").
  SetConnectLimit(u)       that limit in milliseconds (40000 at start, as the kernel's).
  SetConnectMode(s)        'normal'; 'fail': Connect answers org.bluez.Error.Failed "Connection
                           refused"; 'hang': Connect answers, the link never comes.
  SetConnectError(s, s)    Connect answers this error name and message ('' for none).
  SetNotifyInProgress(b)   StartNotify answers org.bluez.Error.InProgress, as BlueZ does while it
                           re-enables a session it kept across a reconnection.
  SetPowered(b)            adapter power; off ends waiting Connects and drops the links.
  SetAdapterPresent(b)     the adapter is unplugged (its objects go) or plugged in again.
  Notify(ay)               a notification of the unit's Di2 data; 5 bytes become its channel state.
  Press(y)                 shifter button 1..4 pressed: its counter goes up, and the unit notifies.
  SetReportsOnSubscribe(b) the unit notifies its channel state as soon as it is subscribed (false
                           at start: nothing known of the EW-WU111 says it does).
  OtherClientDiscovers(b)  another client (a desktop's Bluetooth panel) discovers unfiltered, or stops.
  SetSlowController(b)     the controller reports each device once per scan window, as those without
                           the strict-duplicate quirk do (false at start, as Intel's).

The keyboard side: the adapter serves GattManager1 and LEAdvertisingManager1, /org/bluez a real
AgentManager1 with a desktop's agent as default from the start.

  HostPair(s name) -> b    a host (F0:0D:00:00:00:0n) connects and pairs Just Works, only while a
                           discoverable peripheral advertisement is registered and the adapter is
                           on. The default agent gets RequestAuthorization (call this without
                           blocking the agent's thread). Refused: the link drops, false.
                           Otherwise Paired, Bonded, Connected, its GATT session, true.
  HostConnect(s name) -> b a paired host connects again while a peripheral advertisement is
                           registered; then its GATT session.
  HostDisconnect()         the hosts leave, still paired.
  SetHostSubscribes(b)     false: later sessions never write the CCC (as after a bluetoothd
                           restart, which forgets subscriptions).
  HostClearReports()       forgets the input reports hosts received (HostReports(), cut to
                           ATT_MTU - 3 bytes) and their arrival (HostReportTimes(), monotonic s).
  SetRefuseCentralWhileHostConnected(b) while a host is connected, Device1.Connect on a unit
                           fails org.bluez.Error.Failed "le-connection-busy".

The queries without arguments, at the end, answer what their names say.
'''

import os
import time

import dbus
import dbus.service
import dbus.bus
import dbus.lowlevel
from gi.repository import GLib

from dbusmock import mockobject

BUS_NAME = 'org.bluez'
MAIN_OBJ = '/'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MOCK_IFACE = 'org.bluez.Mock'
ADAPTER_IFACE = 'org.bluez.Adapter1'
DEVICE_IFACE = 'org.bluez.Device1'
SERVICE_IFACE = 'org.bluez.GattService1'
CHAR_IFACE = 'org.bluez.GattCharacteristic1'
DESC_IFACE = 'org.bluez.GattDescriptor1'

ADAPTER = '/org/bluez/hci0'
UNIT_ADDRESS = 'C0:FF:EE:00:00:01'
UNIT = ADAPTER + '/dev_C0_FF_EE_00_00_01'
NEIGHBOUR = ADAPTER + '/dev_C0_FF_EE_00_00_02'
SECOND_UNIT_ADDRESS = 'C0:FF:EE:00:00:03'
SECOND_UNIT = ADAPTER + '/dev_C0_FF_EE_00_00_03'

ADVERTISING_INTERVAL_MS = 150


# service short id -> [(characteristic short id, flags, initial value)]
GATT = [
    ('180a', [('2a29', ['read'], b'SHIMANO'), ('2a24', ['read'], b'EW-WU111'),
              ('2a25', ['read'], b'4501237'), ('2a26', ['read'], b'4.1.0')]),
    ('180f', [('2a19', ['read', 'notify'], bytes([88]))]),
    ('18ef', [('2ac2', ['notify'], b'')]),
]

state = {'connect': 'normal', 'connect_error': None, 'connect_limit_ms': 40000,
         'notify_in_progress': False, 'start_notify_calls': 0,
         'channel': [0, 0, 0, 0, 0], 'reports_on_subscribe': False, 'refuse_central': False,
         'slow_controller': False}

# the object manager at "/", known from load() on
root = {}

# device path -> {'asleep', 'gatt', 'pending' (a waiting Connect), 'sessions' (notifying
# characteristics), 'rssi'}
devices = {}


def error(name, message):
    return dbus.exceptions.DBusException(message, name=name)


def adapter_on():
    return ADAPTER in mockobject.objects and mockobject.objects[ADAPTER].props[ADAPTER_IFACE]['Powered']


def add_methods(obj, iface, methods, **keywords):
    '''(name, in signature, function) as methods of obj's iface that answer nothing; keywords name
    what dbus-python passes besides the arguments: the caller (sender_keyword), the callbacks of an
    answer that comes later (async_callbacks).'''
    for name, in_sig, func in methods:
        func.__name__ = name
        obj.methods.setdefault(iface, {})[name] = (in_sig, '', '', dbus.service.method(
            iface, in_signature=in_sig, out_signature='', **keywords)(func))


def set_props(obj, iface, props):
    obj.props[iface].update(props)
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as', [iface, props, []])


def char_path(unit, service_index, char_index):
    return unit + '/service%04x/char%04x' % (service_index * 16, service_index * 16 + char_index + 1)


DI2_DATA = char_path(UNIT, 2, 0)


def add_gatt(unit):
    manager = root['manager']
    sessions = devices[unit]['sessions']
    for s_index, (service, chars) in enumerate(GATT):
        s_path = unit + '/service%04x' % (s_index * 16)
        manager.AddObject(s_path, SERVICE_IFACE, {
            'UUID': full_uuid(service), 'Primary': True, 'Device': dbus.ObjectPath(unit),
            'Includes': dbus.Array([], signature='o')}, [])
        for c_index, (char, flags, value) in enumerate(chars):
            c_path = char_path(unit, s_index, c_index)
            manager.AddObject(c_path, CHAR_IFACE, {
                'UUID': full_uuid(char), 'Service': dbus.ObjectPath(s_path),
                'Flags': dbus.Array(flags, signature='s'),
                'Value': dbus.Array(value, signature='y'), 'Notifying': c_path in sessions}, [])
            obj = mockobject.objects[c_path]
            obj.AddMethod(CHAR_IFACE, 'ReadValue', 'a{sv}', 'ay', read_value)
            obj.AddMethod(CHAR_IFACE, 'WriteValue', 'aya{sv}', '', lambda self, value, options: None)
            obj.AddMethod(CHAR_IFACE, 'StartNotify', '', '', start_notify)
            obj.AddMethod(CHAR_IFACE, 'StopNotify', '', '', stop_notify)
            if 'notify' in flags or 'indicate' in flags:
                d_path = c_path + '/desc%04x' % (s_index * 16 + c_index + 8)
                manager.AddObject(d_path, DESC_IFACE, {
                    'UUID': full_uuid('2902'), 'Characteristic': dbus.ObjectPath(c_path),
                    'Value': dbus.Array([], signature='y'), 'Flags': dbus.Array(['read', 'write'], signature='s')}, [])
                desc = mockobject.objects[d_path]
                desc.AddMethod(DESC_IFACE, 'ReadValue', 'a{sv}', 'ay', lambda self, options: dbus.Array([0, 0], signature='y'))
                desc.AddMethod(DESC_IFACE, 'WriteValue', 'aya{sv}', '', lambda self, value, options: None)


def remove_gatt(unit):
    manager = root['manager']
    for path in [p for p in mockobject.objects if p.startswith(unit + '/')]:
        manager.RemoveObject(path)


def require_link(char):
    '''BlueZ keeps a device's GATT objects while it is away; using them needs the link.'''
    if not mockobject.objects[unit_of(char)].props[DEVICE_IFACE]['Connected']:
        raise error('org.bluez.Error.Failed', 'Not connected')


def read_value(self, options):
    require_link(self)
    return self.props[CHAR_IFACE]['Value']


def unit_of(char):
    return char.path.split('/service')[0]


def start_notify(self):
    if self.path == DI2_DATA:
        state['start_notify_calls'] += 1
    require_link(self)
    if state['notify_in_progress']:
        raise error('org.bluez.Error.InProgress', 'In Progress')
    devices[unit_of(self)]['sessions'].add(self.path)
    set_props(self, CHAR_IFACE, {'Notifying': True})
    if self.path == DI2_DATA and state['reports_on_subscribe']:
        # After StartNotify's reply, as the unit's notification follows the CCCD write.
        GLib.idle_add(lambda: notify_channel() and False)


def stop_notify(self):
    devices[unit_of(self)]['sessions'].discard(self.path)
    set_props(self, CHAR_IFACE, {'Notifying': False})


def establish(device):
    '''The link is up; BlueZ answers Connect now and resolves the services afterwards.'''
    set_props(device, DEVICE_IFACE, {'Connected': True})

    def resolve():
        if device.path in devices and device.props[DEVICE_IFACE]['Connected'] and \
                not device.props[DEVICE_IFACE]['ServicesResolved']:
            if devices[device.path]['gatt'] and device.path + '/service0000' not in mockobject.objects:
                add_gatt(device.path)
            set_props(device, DEVICE_IFACE, {'ServicesResolved': True})
        return False
    GLib.idle_add(resolve)


def drop(device):
    '''The link ends, or was not there: either way BlueZ says so. Its GATT objects and notification
    sessions stay, as BlueZ keeps a device's attribute cache (main.conf's Cache=always).'''
    set_props(device, DEVICE_IFACE, {'ServicesResolved': False, 'Connected': False})


def finish_pending(path, failure=None):
    pending = devices[path]['pending']
    if pending is None:
        return
    devices[path]['pending'] = None
    if pending['timer'] is not None:
        GLib.source_remove(pending['timer'])
    if failure is None:
        establish(mockobject.objects[path])
        pending['ok']()
    else:
        pending['err'](failure)


def give_up(path):
    devices[path]['pending']['timer'] = None
    finish_pending(path, error('org.bluez.Error.Failed', 'le-connection-abort-by-local'))
    return False


def device_connect(self, ok, err):
    '''As BlueZ: NotReady while the adapter is off, InProgress while another Connect waits.'''
    device = devices[self.path]
    if not adapter_on():
        err(error('org.bluez.Error.NotReady', 'Resource Not Ready'))
    elif state['refuse_central'] and any_host_connected():
        err(error('org.bluez.Error.Failed', CENTRAL_REFUSED))
    elif device['pending'] is not None:
        err(error('org.bluez.Error.InProgress', 'In Progress'))
    elif state['connect_error'] is not None:
        err(error(*state['connect_error']))
    elif state['connect'] == 'fail':
        err(error('org.bluez.Error.Failed', 'Connection refused'))
    elif state['connect'] == 'hang':
        ok()  # the answer comes, the link never does
    elif device['asleep']:
        device['pending'] = {'ok': ok, 'err': err, 'timer': None}
        device['pending']['timer'] = GLib.timeout_add(state['connect_limit_ms'], give_up, self.path)
    else:
        establish(self)
        ok()


def device_disconnect(self):
    '''As BlueZ 5.66: a Disconnect cancels a waiting Connect, which then fails with
    "br-connection-canceled", and succeeds on a device that is not connected.'''
    if devices[self.path]['pending'] is not None:
        finish_pending(self.path, error('org.bluez.Error.Failed', 'br-connection-canceled'))
    elif self.props[DEVICE_IFACE]['Connected']:
        drop(self)


def add_device_object(path, address, name, **props):
    root['manager'].AddObject(path, DEVICE_IFACE, dict({
        'Address': address, 'AddressType': 'public', 'Name': name, 'Alias': name,
        'Adapter': dbus.ObjectPath(ADAPTER), 'Paired': False, 'Trusted': False, 'Blocked': False,
        'LegacyPairing': False, 'Connected': False, 'ServicesResolved': False,
        'UUIDs': dbus.Array([], signature='s')}, **props), [])


def add_device(path, address, name, rssi, gatt, announce):
    add_device_object(path, address, name, RSSI=dbus.Int16(rssi))
    device = mockobject.objects[path]
    add_methods(device, DEVICE_IFACE, [('Connect', '', device_connect)], async_callbacks=('ok', 'err'))
    device.AddMethod(DEVICE_IFACE, 'Disconnect', '', '', device_disconnect)
    devices[path] = {'asleep': False, 'gatt': gatt, 'pending': None, 'sessions': set(), 'rssi': rssi}
    if announce:
        root['manager'].object_manager_emit_added(path)


# Discovery sessions, one per D-Bus client as in BlueZ: sender -> its filter (None: unfiltered).
# A filter set before StartDiscovery waits in 'filters'.
discovery = {'sessions': {}, 'filters': {}}
OTHER_CLIENT = 'other-client'  # a desktop's Bluetooth panel, discovering without a filter
RSSI_THRESHOLD = 8  # dBm; BlueZ's src/device.c


SCAN_WINDOW_MS = 10240  # the kernel's LE discovery window
UNFILTERED_PAUSE_MS = 5000  # BlueZ's pause between windows when no client set a filter


def scan_window(filtered):
    '''The number of the kernel's scan window running now, or None in BlueZ's pause between two.'''
    elapsed = GLib.get_monotonic_time() / 1000 - discovery['scan_start_ms']
    number, into = divmod(elapsed, SCAN_WINDOW_MS + (0 if filtered else UNFILTERED_PAUSE_MS))
    return None if into >= SCAN_WINDOW_MS else int(number)


def connect_pending():
    '''A waiting Connect has the kernel scan passively for its device and connect on its first
    advertisement, but that scan does not run while any client discovers.'''
    if discovery['sessions']:
        return
    for path, device in devices.items():
        if device['pending'] is not None and not device['asleep']:
            finish_pending(path)


def advertise():
    '''One advertisement of every awake, unconnected device. BlueZ tells an RSSI only when it moved by
    RSSI_THRESHOLD or more, unless a discovering client set a filter: then every report. A slow
    controller reports a device once per scan window.'''
    connect_pending()
    if not (adapter_on() and discovery['sessions']):
        discovery['scan_start_ms'] = None
        return True
    if discovery.get('scan_start_ms') is None:
        discovery['scan_start_ms'] = GLib.get_monotonic_time() / 1000
        for device in devices.values():
            device['window'] = None
    filtered = any(f is not None for f in discovery['sessions'].values())
    window = scan_window(filtered) if state['slow_controller'] else None
    if state['slow_controller'] and window is None:
        return True
    for path, device in devices.items():
        obj = mockobject.objects.get(path)
        if obj is None or device['asleep'] or obj.props[DEVICE_IFACE]['Connected']:
            continue
        if state['slow_controller']:
            if device.get('window') == window:
                continue
            device['window'] = window
        rssi = device['rssi']  # a unit on the shelf: a steady signal
        told = device.get('told_rssi')
        if filtered or told is None or abs(rssi - told) >= RSSI_THRESHOLD:
            device['told_rssi'] = rssi
            set_props(obj, DEVICE_IFACE, {'RSSI': dbus.Int16(rssi)})
    return True


def discovery_changed():
    '''Discovering follows the sessions a moment later, as the kernel confirms; the last session
    to stop clears every device's RSSI (BlueZ invalidates it).'''
    def settle():
        if ADAPTER not in mockobject.objects:
            return False
        adapter = mockobject.objects[ADAPTER]
        now = bool(discovery['sessions']) and adapter.props[ADAPTER_IFACE]['Powered']
        if adapter.props[ADAPTER_IFACE]['Discovering'] != now:
            set_props(adapter, ADAPTER_IFACE, {'Discovering': now})
            if not now:
                for path, device in devices.items():
                    obj = mockobject.objects.get(path)
                    device['told_rssi'] = None
                    if obj is not None and 'RSSI' in obj.props[DEVICE_IFACE]:
                        del obj.props[DEVICE_IFACE]['RSSI']
                        obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                                       [DEVICE_IFACE, {}, ['RSSI']])
        return False
    GLib.timeout_add(DISCOVERING_DELAY_MS, settle)


DISCOVERING_DELAY_MS = 30


def begin_session(sender):
    if sender in discovery['sessions']:
        raise error('org.bluez.Error.InProgress', 'Operation already in progress')
    if not adapter_on():
        raise error('org.bluez.Error.NotReady', 'Resource Not Ready')
    discovery['sessions'][sender] = discovery['filters'].get(sender)
    discovery_changed()
    if NEIGHBOUR not in mockobject.objects:
        add_device(NEIGHBOUR, 'C0:FF:EE:00:00:02', 'HRM-Pro', -72, gatt=False, announce=True)


def end_session(sender):
    if sender not in discovery['sessions']:
        raise error('org.bluez.Error.Failed', 'No discovery started')
    del discovery['sessions'][sender]
    discovery_changed()


def set_discovery_filter(self, properties, sender):
    discovery['filters'][sender] = dict(properties) if properties else None


def add_adapter(announce):
    manager = root['manager']
    manager.AddObject(ADAPTER, ADAPTER_IFACE, {
        'Address': '00:11:22:33:44:55', 'AddressType': 'public', 'Name': 'fake', 'Alias': 'fake', 'Class': dbus.UInt32(0),
        'Powered': True, 'Discoverable': False, 'Pairable': True, 'Discovering': False,
        'DiscoverableTimeout': dbus.UInt32(0), 'PairableTimeout': dbus.UInt32(0),
        'UUIDs': dbus.Array([], signature='s'), 'Modalias': 'usb:v1D6Bp0246d0537'}, [])
    adapter = mockobject.objects[ADAPTER]
    add_methods(adapter, ADAPTER_IFACE, [('StartDiscovery', '', lambda self, sender: begin_session(sender)),
                                         ('StopDiscovery', '', lambda self, sender: end_session(sender)),
                                         ('SetDiscoveryFilter', 'a{sv}', set_discovery_filter)],
                sender_keyword='sender')
    adapter.AddMethod(ADAPTER_IFACE, 'GetDiscoveryFilters', '', 'as', lambda self: dbus.Array([], signature='s'))
    add_keyboard_managers(adapter)
    if announce:
        manager.object_manager_emit_added(ADAPTER)
    add_device(UNIT, UNIT_ADDRESS, 'EW-WU111', -55, gatt=True, announce=announce)


# --- The keyboard side: BlueZ's GATT server, advertising and agents, and a remote host that pairs,
# connects, reads and subscribes, as bluetoothd 5.66's src/gatt-database.c, src/advertising.c,
# src/agent.c, src/adapter.c and src/device.c do.


GATT_MANAGER_IFACE = 'org.bluez.GattManager1'
ADV_MANAGER_IFACE = 'org.bluez.LEAdvertisingManager1'
AGENT_MANAGER_IFACE = 'org.bluez.AgentManager1'
AGENT_IFACE = 'org.bluez.Agent1'
AD_IFACE = 'org.bluez.LEAdvertisement1'
OM_IFACE = 'org.freedesktop.DBus.ObjectManager'

HOST_ADDRESS = 'F0:0D:00:00:00:%02X'
ATT_MTU = 23  # the host never asks for more: every read piece is ATT_MTU - 1 bytes
MAX_ATTRIBUTE = 512
MAX_AD_LEN = 31
SUPPORTED_INSTANCES = 5
DBUS_TIMEOUT_S = 25.0     # libdbus's default, which gdbus's GetManagedObjects uses
AGENT_TIMEOUT_S = 60.0    # REQUEST_TIMEOUT in src/agent.c
DESKTOP_AGENT_PATH = '/org/desktop/BluetoothAgent'

# The controller answers LE Create Connection with Command Disallowed (0x0c) when it
# cannot be central while it is peripheral; the kernel's bt_to_errno() turns 0x0c into
# EBUSY, and bluetoothd 5.66's btd_error_le_errno() turns EBUSY into this reason.
CENTRAL_REFUSED = 'le-connection-busy'

CAPABILITIES = {'', 'DisplayOnly', 'DisplayYesNo', 'KeyboardOnly', 'NoInputNoOutput', 'KeyboardDisplay'}
CHRC_FLAGS = {'broadcast', 'read', 'write-without-response', 'write', 'notify', 'indicate',
              'authenticated-signed-writes', 'extended-properties', 'reliable-write',
              'writable-auxiliaries', 'encrypt-read', 'encrypt-write', 'encrypt-notify',
              'encrypt-indicate', 'encrypt-authenticated-read', 'encrypt-authenticated-write',
              'encrypt-authenticated-notify', 'encrypt-authenticated-indicate', 'secure-read',
              'secure-write', 'secure-notify', 'secure-indicate', 'authorize'}
DESC_FLAGS = {'read', 'write', 'encrypt-read', 'encrypt-write', 'encrypt-authenticated-read',
              'encrypt-authenticated-write', 'secure-read', 'secure-write', 'authorize'}
READ_FLAGS = {'read', 'encrypt-read', 'encrypt-authenticated-read', 'secure-read'}
NOTIFY_FLAGS = {'notify', 'indicate', 'encrypt-notify', 'encrypt-indicate',
                'encrypt-authenticated-notify', 'encrypt-authenticated-indicate',
                'secure-notify', 'secure-indicate'}

# apps: (sender, path) -> {'ready', 'chrcs', 'descs', 'match'}
# ads: (sender, path) -> {'ready', 'props', 'order'}
# agents: sender -> agent path; default_agents[0] is the default
# hosts: name -> {'address', 'path', 'paired', 'present', 'connected', 'ccc' (app key, char path)}
kb = {'apps': {}, 'ads': {}, 'agents': {}, 'default_agents': [], 'hosts': {},
      'reports': [], 'report_times': [], 'read_error': '', 'report_map': b'',
      'host_subscribes': True, 'sessions': 0, 'ad_order': 0, 'desktop': None}


def bus():
    return root['manager'].connection


def full_uuid(value):
    text = str(value).lower()
    if len(text) in (4, 8) and all(c in '0123456789abcdef' for c in text):
        return '%08x-0000-1000-8000-00805f9b34fb' % int(text, 16)
    parts = text.split('-')
    if [len(p) for p in parts] == [8, 4, 4, 4, 12] and all(c in '0123456789abcdef' for c in ''.join(parts)):
        return text


def uuid_bytes(uuid):
    '''How many bytes a UUID takes on the air (BlueZ shortens Bluetooth base UUIDs).'''
    if uuid.endswith('-0000-1000-8000-00805f9b34fb'):
        return 2 if uuid.startswith('0000') else 4
    return 16


# --- GattManager1 ------------------------------------------------------------------------

def parse_app(objects, app_path):
    '''BlueZ's proxy_added_cb/client_ready_cb/database_add_app over GetManagedObjects'
    answer: (characteristics, descriptors) when usable, else the org.bluez.Error.Failed message.'''
    prefix = app_path.rstrip('/') + '/'
    mine = {str(p): o for p, o in objects.items() if str(p) == app_path or str(p).startswith(prefix)}
    services = {path: ifaces[SERVICE_IFACE] for path, ifaces in mine.items() if SERVICE_IFACE in ifaces}
    if not services or not all(full_uuid(props.get('UUID', '')) and isinstance(props.get('Primary'), (bool, dbus.Boolean))
                               for props in services.values()):
        return 'No valid service object found'
    chrcs, descs = {}, {}
    for iface, parent, parents, table, allowed in ((CHAR_IFACE, 'Service', services, chrcs, CHRC_FLAGS),
                                                  (DESC_IFACE, 'Characteristic', chrcs, descs, DESC_FLAGS)):
        for path, ifaces in mine.items():
            if iface in ifaces:
                props = ifaces[iface]
                uuid = full_uuid(props.get('UUID', ''))
                flags = [str(f) for f in props.get('Flags', [])]
                if (uuid is None or str(props.get(parent, '')) not in parents or 'Flags' not in props
                        or (iface == CHAR_IFACE and not flags) or any(f not in allowed for f in flags)):
                    return 'Failed to create entry in database'
                table[path] = {'uuid': uuid, 'parent': str(props[parent]), 'flags': set(flags)}
    return chrcs, descs


def register_later(table, key, ok, err, fetch, accept, unanswered):
    '''bluetoothd reads the owner's objects before it answers the registration: accept(entry,
    reply) readies the entry, or says why it is refused. An owner that left meanwhile is dropped.'''
    if key in table:
        err(error('org.bluez.Error.AlreadyExists', 'Already Exists'))
        return
    entry = table[key] = {'ready': False}

    def refuse(message):
        del table[key]
        err(error('org.bluez.Error.Failed', message))

    def answered(reply):
        if table.get(key) is entry:
            refusal = accept(entry, reply)
            refuse(refusal) if refusal else ok()

    def failed(_exception):
        # gdbus calls the ready watch after a failed call: nothing to read.
        if table.get(key) is entry:
            refuse(unanswered)

    bus().call_async(key[0], key[1], *fetch, answered, failed, timeout=DBUS_TIMEOUT_S)


def register_application(self, path, _options, sender, ok, err):
    key = (str(sender), str(path))

    def accept(app, objects):
        parsed = parse_app(objects, key[1])
        if isinstance(parsed, str):
            return parsed
        app['chrcs'], app['descs'] = parsed
        app['ready'] = True
        app['match'] = bus().add_signal_receiver(
            lambda iface, changed_props, _inv, path=None: app_property_changed(key, path, iface, changed_props),
            signal_name='PropertiesChanged', dbus_interface=dbus.PROPERTIES_IFACE, bus_name=key[0],
            path_keyword='path')
        return None

    register_later(kb['apps'], key, ok, err, (OM_IFACE, 'GetManagedObjects', '', ()), accept,
                   'No valid service object found')


def drop_app(key):
    app = kb['apps'].pop(key)
    if app.get('match') is not None:
        app['match'].remove()
    for host in kb['hosts'].values():
        host['ccc'] = {c for c in host['ccc'] if c[0] != key}


def registered(table, sender, path):
    key = (str(sender), str(path))
    if key not in table:
        raise error('org.bluez.Error.DoesNotExist', 'Does Not Exist')
    return key


def unregister_application(self, path, sender):
    drop_app(registered(kb['apps'], sender, path))


# --- LEAdvertisingManager1 ---------------------------------------------------------------

def ad_length(props):
    '''The advertising data as bt_ad_generate() sizes it, of what Cogwise advertises, without
    the local name (BlueZ shortens that rather than refusing); None when a UUID does not parse.'''
    length = 3  # flags, put there by BlueZ (Discoverable) or by the kernel
    uuids = [full_uuid(uuid) for uuid in props.get('ServiceUUIDs', [])]
    if None in uuids:
        return None
    for size in {uuid_bytes(uuid) for uuid in uuids}:  # one field per size
        length += 2 + size * sum(1 for uuid in uuids if uuid_bytes(uuid) == size)
    includes = [str(i) for i in props.get('Includes', [])]
    if 'Appearance' in props or 'appearance' in includes:
        length += 4
    if 'tx-power' in includes:
        length += 3
    return length


def register_advertisement(self, path, _options, sender, ok, err):
    key = (str(sender), str(path))
    if key not in kb['ads'] and len(kb['ads']) >= SUPPORTED_INSTANCES:
        err(error('org.bluez.Error.Failed', 'Maximum advertisements reached'))
        return

    def accept(ad, props):
        length = ad_length(props)
        if str(props.get('Type', '')) not in ('peripheral', 'broadcast') or length is None or length > MAX_AD_LEN:
            return 'Failed to parse advertisement.'
        kb['ad_order'] += 1
        ad.update({'ready': True, 'props': dbus.Dictionary(props, signature='sv'), 'order': kb['ad_order']})
        update_instances()
        return None

    register_later(kb['ads'], key, ok, err, (dbus.PROPERTIES_IFACE, 'GetAll', 's', (AD_IFACE,)), accept,
                   'Failed to parse advertisement.')


def update_instances():
    if ADAPTER not in mockobject.objects:
        return
    active = sum(1 for ad in kb['ads'].values() if ad['ready'])
    set_props(mockobject.objects[ADAPTER], ADV_MANAGER_IFACE, {
        'ActiveInstances': dbus.Byte(active),
        'SupportedInstances': dbus.Byte(SUPPORTED_INSTANCES - active)})


def unregister_advertisement(self, path, sender):
    del kb['ads'][registered(kb['ads'], sender, path)]  # no Release: client_remove() does not send it
    update_instances()


def active_ads():
    return sorted((ad for ad in kb['ads'].values() if ad['ready']), key=lambda ad: ad['order'])


def add_keyboard_managers(adapter):
    adapter.props.setdefault(GATT_MANAGER_IFACE, {})
    adapter.props[ADV_MANAGER_IFACE] = {
        'ActiveInstances': dbus.Byte(0), 'SupportedInstances': dbus.Byte(SUPPORTED_INSTANCES),
        'SupportedIncludes': dbus.Array(['tx-power', 'appearance', 'local-name'], signature='s'),
        'SupportedSecondaryChannels': dbus.Array([], signature='s')}
    for iface, what, register, unregister in (
            (GATT_MANAGER_IFACE, 'Application', register_application, unregister_application),
            (ADV_MANAGER_IFACE, 'Advertisement', register_advertisement, unregister_advertisement)):
        add_methods(adapter, iface, [('Register' + what, 'oa{sv}', register)], sender_keyword='sender',
                    async_callbacks=('ok', 'err'))
        add_methods(adapter, iface, [('Unregister' + what, 'o', unregister)], sender_keyword='sender')


def send_no_reply(destination, path, iface, member):
    message = dbus.lowlevel.MethodCallMessage(destination, path, iface, member)
    message.set_no_reply(True)
    bus().send_message(message)


# --- AgentManager1 -----------------------------------------------------------------------

def default_agent():
    return kb['default_agents'][0] if kb['default_agents'] else None


def drop_agent(sender):
    '''agent_disconnect(): out of the default queue (the previous default comes back) and
    gone. No Release: its watch is removed first.'''
    kb['agents'].pop(sender, None)
    if sender in kb['default_agents']:
        kb['default_agents'].remove(sender)


def register_agent(self, path, capability, sender):
    if sender in kb['agents']:
        raise error('org.bluez.Error.AlreadyExists', 'Already Exists')
    if str(capability) not in CAPABILITIES:
        raise error('org.bluez.Error.InvalidArguments', 'Invalid arguments in method call')
    kb['agents'][str(sender)] = str(path)


def own_agent(path, sender):
    if kb['agents'].get(str(sender)) != str(path):
        raise error('org.bluez.Error.DoesNotExist', 'Does Not Exist')
    return str(sender)


def unregister_agent(self, path, sender):
    drop_agent(own_agent(path, sender))


def request_default_agent(self, path, sender):
    name = own_agent(path, sender)
    kb['default_agents'] = [name] + [other for other in kb['default_agents'] if other != name]


class DesktopAgent(dbus.service.Object):
    '''A desktop's own agent (as GNOME's), registered before anybody else: it says yes.'''

    @dbus.service.method(AGENT_IFACE, in_signature='o', out_signature='')
    def RequestAuthorization(self, device):
        pass


def start_desktop_agent():
    address = os.environ.get('DBUS_SYSTEM_BUS_ADDRESS')
    connection = dbus.bus.BusConnection(address) if address else dbus.bus.BusConnection(dbus.bus.BUS_SYSTEM)
    kb['desktop'] = {'connection': connection, 'object': DesktopAgent(connection, DESKTOP_AGENT_PATH)}
    name = connection.get_unique_name()
    kb['agents'][name] = DESKTOP_AGENT_PATH
    kb['default_agents'].insert(0, name)


def watch_bus():
    def owner_changed(name, old_owner, new_owner):
        if new_owner or not name.startswith(':'):
            return
        for key in [k for k in kb['apps'] if k[0] == name]:
            drop_app(key)
        gone = [k for k in kb['ads'] if k[0] == name]
        for key in gone:
            del kb['ads'][key]
        if gone:
            update_instances()
        drop_agent(name)
        discovery['filters'].pop(name, None)
        if discovery['sessions'].pop(name, 'none') != 'none':
            discovery_changed()
    bus().add_signal_receiver(owner_changed, signal_name='NameOwnerChanged', dbus_interface='org.freedesktop.DBus',
                              bus_name='org.freedesktop.DBus', path='/org/freedesktop/DBus')


# --- the host ----------------------------------------------------------------------------

def host_device(name):
    '''The host called `name`, known to the adapter from now on.'''
    if name not in kb['hosts']:
        address = HOST_ADDRESS % (len(kb['hosts']) + 1)
        kb['hosts'][name] = {'address': address, 'paired': False, 'present': False,
                             'connected': False, 'ccc': set(),
                             'path': ADAPTER + '/dev_' + address.replace(':', '_')}
    host = kb['hosts'][name]
    if not host['present']:
        add_device_object(host['path'], host['address'], name, Paired=host['paired'], Bonded=host['paired'])
        host['present'] = True
        root['manager'].object_manager_emit_added(host['path'])
    return host


def any_host_connected():
    return any(host['connected'] for host in kb['hosts'].values())


def host_link_up(host):
    host['connected'] = True
    set_props(mockobject.objects[host['path']], DEVICE_IFACE, {'Connected': True})


def host_link_lost(host):
    '''att_disconnected(): a bonded host keeps its CCC state, so no StopNotify.'''
    if host['connected'] and host['path'] in mockobject.objects:
        set_props(mockobject.objects[host['path']], DEVICE_IFACE, {'ServicesResolved': False, 'Connected': False})
    host['connected'] = False


def ready_apps():
    return [(key, app) for key, app in kb['apps'].items() if app['ready']]


def find_chrcs(uuid):
    return [(key, path, chrc) for key, app in ready_apps() for path, chrc in sorted(app['chrcs'].items())
            if chrc['uuid'] == full_uuid(uuid)]


def app_property_changed(key, path, iface, changed_props):
    if iface != CHAR_IFACE or 'Value' not in changed_props:
        return
    for host in kb['hosts'].values():
        if host['connected'] and (key, str(path)) in host['ccc']:
            # bt_gatt_server_send_notification() cuts the value to ATT_MTU - 3
            kb['reports'].append(bytes(bytearray(changed_props['Value']))[:ATT_MTU - 3])
            kb['report_times'].append(time.monotonic())


def run_session(gen):
    '''Drives a host's GATT session: each step yields a method call on the application.'''
    kb['sessions'] += 1

    def step(value=None, failure=None):
        try:
            call = gen.throw(failure) if failure is not None else gen.send(value)
        except StopIteration:
            kb['sessions'] -= 1
            return
        owner, path, iface, member, signature, args = call
        bus().call_async(owner, path, iface, member, signature, args,
                         lambda *reply: GLib.idle_add(lambda: step(reply[0] if reply else None) and False),
                         lambda e: GLib.idle_add(lambda: step(failure=e) and False),
                         timeout=DBUS_TIMEOUT_S, byte_arrays=True)
    step()


class ReadFailed(Exception):
    pass


def host_read(host, key, path, iface, flags, offset):
    '''One ATT read as bluetoothd passes it to the application: "offset" only when not 0.'''
    if not flags & READ_FLAGS:
        kb['read_error'] = 'Read Not Permitted'
        raise ReadFailed()
    options = {'device': dbus.ObjectPath(host['path']), 'mtu': dbus.UInt16(ATT_MTU), 'link': 'LE'}
    if offset:
        options['offset'] = dbus.UInt16(offset)
    try:
        value = yield (key[0], path, iface, 'ReadValue', 'a{sv}', (dbus.Dictionary(options, signature='sv'),))
    except dbus.exceptions.DBusException as e:
        kb['read_error'] = e.get_dbus_name()
        raise ReadFailed()
    return bytes(value)[:ATT_MTU - 1]


def ios_session(host):
    '''What an iPad does on every connection: HID Information, the Report Map by long
    reads, the Report Reference of every Report, then the input report's CCC.'''
    try:
        for key, path, chrc in find_chrcs('2a4a')[:1]:
            yield from host_read(host, key, path, CHAR_IFACE, chrc['flags'], 0)
        for key, path, chrc in find_chrcs('2a4b')[:1]:
            value = b''
            while True:
                piece = yield from host_read(host, key, path, CHAR_IFACE, chrc['flags'], len(value))
                value += piece
                if len(piece) < ATT_MTU - 1 or len(value) >= MAX_ATTRIBUTE:
                    break
            kb['report_map'] = value
        inputs = []
        for key, path, chrc in find_chrcs('2a4d'):
            for d_path, desc in sorted(kb['apps'][key]['descs'].items()):
                if desc['parent'] == path and desc['uuid'] == full_uuid('2908'):
                    ref = yield from host_read(host, key, d_path, DESC_IFACE, desc['flags'], 0)
                    if len(ref) == 2 and ref[1] == 1:
                        inputs.append((key, path, chrc))
        if not kb['host_subscribes'] or not host['connected']:
            return
        for key, path, chrc in inputs:
            if not chrc['flags'] & NOTIFY_FLAGS:
                kb['read_error'] = 'No CCC descriptor'
                continue
            entry = (key, path)
            # A bonded host writing its CCC again is not first either: gatt_ccc_write_cb() does nothing.
            first = not any(entry in other['ccc'] for other in kb['hosts'].values())
            host['ccc'].add(entry)
            if first:
                # ccc_write_cb() calls StartNotify and does not wait for or look at the answer
                send_no_reply(key[0], path, CHAR_IFACE, 'StartNotify')
    except ReadFailed:
        return


def start_host_session(host):
    if ready_apps():
        run_session(ios_session(host))


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='b', async_callbacks=('ok', 'err'))
def HostPair(self, name, ok, err):
    discoverable = any(ad['props'].get('Discoverable', False) and ad['props'].get('Type') == 'peripheral'
                       for ad in active_ads())
    if not adapter_on() or not discoverable:
        ok(False)
        return
    host = host_device(str(name))
    host_link_up(host)
    agent_name = default_agent()

    def accepted(*_):
        host['paired'] = True
        set_props(mockobject.objects[host['path']], DEVICE_IFACE, {'Paired': True, 'Bonded': True})
        set_props(mockobject.objects[host['path']], DEVICE_IFACE, {'ServicesResolved': True})
        ok(True)
        start_host_session(host)

    def refused(_exception):
        host_link_lost(host)
        ok(False)

    # An incoming Just Works pairing: the kernel asks user space to confirm with
    # confirm_hint set, and device_confirm_passkey() then asks the default agent for
    # RequestAuthorization, whatever its capability.
    bus().call_async(agent_name, kb['agents'][agent_name], AGENT_IFACE, 'RequestAuthorization', 'o',
                     (dbus.ObjectPath(host['path']),), accepted, refused, timeout=AGENT_TIMEOUT_S)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='b')
def HostConnect(self, name):
    host = kb['hosts'].get(str(name))
    connectable = any(ad['props'].get('Type') == 'peripheral' for ad in active_ads())
    if host is None or not host['paired'] or not host['present'] or not adapter_on() or not connectable:
        return False
    if not host['connected']:
        host_link_up(host)
        set_props(mockobject.objects[host['path']], DEVICE_IFACE, {'ServicesResolved': True})
        start_host_session(host)
    return True


def load(mock, parameters):
    root['manager'] = mock
    mock.AddObject('/org/bluez', AGENT_MANAGER_IFACE, {}, [])
    add_methods(mockobject.objects['/org/bluez'], AGENT_MANAGER_IFACE,
                [('RegisterAgent', 'os', register_agent), ('UnregisterAgent', 'o', unregister_agent),
                 ('RequestDefaultAgent', 'o', request_default_agent)], sender_keyword='sender')
    add_adapter(announce=False)
    watch_bus()
    start_desktop_agent()
    GLib.timeout_add(ADVERTISING_INTERVAL_MS, advertise)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetAsleep(self, asleep):
    devices[UNIT]['asleep'] = bool(asleep)
    if not asleep:
        connect_pending()


@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='')
def SetConnectError(self, name, message):
    state['connect_error'] = (str(name), str(message)) if name else None


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetPowered(self, powered):
    adapter = mockobject.objects[ADAPTER]
    if not powered:
        for path, device in devices.items():
            finish_pending(path, error('org.bluez.Error.Failed', 'Software caused connection abort'))
            if mockobject.objects[path].props[DEVICE_IFACE]['Connected']:
                drop(mockobject.objects[path])
        for host in kb['hosts'].values():
            host_link_lost(host)
        # Powering off ends every client's discovery session (adapter_stop in BlueZ).
        discovery['sessions'].clear()
        discovery['filters'].clear()
        if adapter.props[ADAPTER_IFACE]['Discovering']:
            set_props(adapter, ADAPTER_IFACE, {'Discovering': False})
    set_props(adapter, ADAPTER_IFACE, {'Powered': bool(powered)})


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def OtherClientDiscovers(self, discovering):
    if discovering and OTHER_CLIENT not in discovery['sessions']:
        begin_session(OTHER_CLIENT)
    elif not discovering and OTHER_CLIENT in discovery['sessions']:
        end_session(OTHER_CLIENT)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetAdapterPresent(self, present):
    manager = root['manager']
    if present and ADAPTER not in mockobject.objects:
        add_adapter(announce=True)
    elif not present and ADAPTER in mockobject.objects:
        for path in devices:
            finish_pending(path, error('org.bluez.Error.Failed', 'Software caused connection abort'))
            remove_gatt(path)
        devices.clear()
        for host in kb['hosts'].values():
            host['present'] = host['connected'] = False
        for path in sorted((p for p in mockobject.objects if p.startswith(ADAPTER)), reverse=True):
            manager.object_manager_emit_removed(path)
            manager.RemoveObject(path)


def di2_notifying():
    return DI2_DATA in mockobject.objects and bool(mockobject.objects[DI2_DATA].props[CHAR_IFACE]['Notifying'])


def notify_channel():
    '''The unit notifies its channel state, if anybody listens.'''
    if di2_notifying() and mockobject.objects[UNIT].props[DEVICE_IFACE]['Connected']:
        set_props(mockobject.objects[DI2_DATA], CHAR_IFACE, {'Value': dbus.Array(state['channel'], signature='y')})


@dbus.service.method(MOCK_IFACE, in_signature='ay', out_signature='')
def Notify(self, value):
    if len(value) == 5:
        state['channel'] = [int(b) for b in value]
    set_props(mockobject.objects[DI2_DATA], CHAR_IFACE, {'Value': dbus.Array(value, signature='y')})


@dbus.service.method(MOCK_IFACE, in_signature='y', out_signature='')
def Press(self, button):
    channel = state['channel']
    channel[0] = (channel[0] + 1) % 256  # the checksum byte moves too; nobody checks it
    channel[button] = (channel[button] + 1) % 256
    notify_channel()


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def AddSecondUnit(self):
    if SECOND_UNIT not in mockobject.objects:
        add_device(SECOND_UNIT, SECOND_UNIT_ADDRESS, 'EW-WU111', -60, gatt=True, announce=True)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def HostDisconnect(self):
    for host in kb['hosts'].values():
        host_link_lost(host)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def HostClearReports(self):
    kb['reports'].clear()
    kb['report_times'].clear()


def query(name, out_signature, answer):
    '''A method of org.bluez.Mock without arguments: what answer() does, and finds.'''
    def method(self):
        return answer()
    method.__name__ = name
    return dbus.service.method(MOCK_IFACE, in_signature='', out_signature=out_signature)(method)


DropLink = query('DropLink', '', lambda: drop(mockobject.objects[UNIT]))
AdvertisementProperties = query('AdvertisementProperties', 'a{sv}', lambda: active_ads()[-1]['props'] if active_ads()
                                else dbus.Dictionary({}, signature='sv'))
DiscoverySessions = query('DiscoverySessions', 'u', lambda: dbus.UInt32(len(discovery['sessions'])))
IsNotifying = query('IsNotifying', 'b', di2_notifying)
PendingConnects = query('PendingConnects', 'u', lambda: dbus.UInt32(
    sum(1 for device in devices.values() if device['pending'] is not None)))
StartNotifyCalls = query('StartNotifyCalls', 'u', lambda: dbus.UInt32(state['start_notify_calls']))
HostSubscribed = query('HostSubscribed', 'b', lambda: any(
    host['connected'] and host['ccc'] for host in kb['hosts'].values()))
HostIdle = query('HostIdle', 'b', lambda: kb['sessions'] == 0)  # poll it after a host connects
HostReports = query('HostReports', 'aay', lambda: dbus.Array(
    [dbus.ByteArray(r) for r in kb['reports']], signature='ay'))
HostReportTimes = query('HostReportTimes', 'ad', lambda: dbus.Array(kb['report_times'], signature='d'))
HostReportMap = query('HostReportMap', 'ay', lambda: dbus.ByteArray(kb['report_map']))
HostReadError = query('HostReadError', 's', lambda: kb['read_error'])
RegisteredApplications = query('RegisteredApplications', 'u', lambda: dbus.UInt32(len(ready_apps())))
DefaultAgent = query('DefaultAgent', '(so)', lambda: dbus.Struct(
    (default_agent() or '', dbus.ObjectPath(kb['agents'].get(default_agent(), '/')))))
DesktopAgentName = query('DesktopAgentName', 's', lambda: kb['desktop']['connection'].get_unique_name())


def setter(name, signature, table, key, convert):
    '''A method of org.bluez.Mock that only sets a switch, read where the fake acts.'''
    def method(self, value):
        table[key] = convert(value)
    method.__name__ = name
    return dbus.service.method(MOCK_IFACE, in_signature=signature, out_signature='')(method)


for _switch in (('SetConnectLimit', 'u', state, 'connect_limit_ms', int),
                ('SetConnectMode', 's', state, 'connect', str),
                ('SetNotifyInProgress', 'b', state, 'notify_in_progress', bool),
                ('SetSlowController', 'b', state, 'slow_controller', bool),
                ('SetReportsOnSubscribe', 'b', state, 'reports_on_subscribe', bool),
                ('SetHostSubscribes', 'b', kb, 'host_subscribes', bool),
                ('SetRefuseCentralWhileHostConnected', 'b', state, 'refuse_central', bool)):
    globals()[_switch[0]] = setter(*_switch)
