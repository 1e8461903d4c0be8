'''A fake bluetoothd for tests: one adapter, a remembered Di2 unit with a GATT
database, a neighbour that turns up while scanning, an optional second unit of the
same model, and switches to put the unit to sleep, make connecting fail or hang,
drop the link or power the adapter off.

Loaded by python3-dbusmock:  python3 -m dbusmock --system --template fake_bluez.py
Control it through the org.bluez.Mock interface of "/":

  SetAsleep(b)             the unit stops (true) or starts (false) advertising. Connect
                           to an asleep unit waits, as the kernel's passive scan does,
                           until it wakes (then it connects) or the connect limit passes
                           (then org.bluez.Error.Failed "le-connection-abort-by-local").
  SetConnectLimit(u)       that limit in milliseconds (30000 at start).
  SetConnectMode(s)        'normal'; 'fail': Connect answers org.bluez.Error.Failed
                           "Connection refused"; 'hang': Connect answers, the link never comes.
  SetConnectError(s, s)    Connect answers this error name and message ('' for none).
  SetNotifyInProgress(b)   StartNotify answers org.bluez.Error.InProgress, as BlueZ does
                           while it re-enables a session it kept across a reconnection.
  SetReadError(b)          ReadValue answers org.bluez.Error.NotPermitted.
  SetPowered(b)            adapter power; off ends waiting Connects and drops the links.
  SetAdapterPresent(b)     the adapter is unplugged (its objects go) or plugged in again
                           (it comes back with the unit remembered).
  Notify(ay)               a notification of the unit's Di2 data characteristic; a
                           5-byte value becomes the unit's channel state.
  Press(y)                 the rider presses shifter button 1..4: the unit's counter for
                           it goes up, and the unit notifies its channel state if it is
                           connected and subscribed (otherwise it only counts).
  SetReportsOnSubscribe(b) whether the unit notifies its channel state as soon as it is
                           subscribed (true), or stays silent until a press (false, at
                           start: nothing known of the EW-WU111 says it reports).
  DropLink()               the unit's link drops, as when it rides out of range.
  IsNotifying() -> b       whether the unit's Di2 data characteristic is subscribed.
  AddSecondUnit()          a second EW-WU111 (C0:FF:EE:00:00:03), awake, appears.
  PendingConnects() -> u   Connect calls still waiting for their answer.
  StartNotifyCalls() -> u  StartNotify calls on the unit's Di2 data characteristic so far.

As in BlueZ: Connect while the adapter is off answers org.bluez.Error.NotReady; a
second Connect while one waits answers org.bluez.Error.InProgress; Disconnect ends a
waiting Connect, which then fails with "le-connection-abort-by-local"; Connect on a
connected device succeeds at once; notification sessions outlive a dropped link and
are on again when it comes back. While the adapter discovers, every awake device that
is not connected updates its RSSI every 150 ms (its advertisements); devices stay
cached either way. Stopping this process and starting it again is bluetoothd going
away and coming back.
'''

import dbus
import dbus.service
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
ABORT_BY_LOCAL = 'le-connection-abort-by-local'


def full(short):
    return '0000%s-0000-1000-8000-00805f9b34fb' % short.lower()


# service short id -> [(characteristic short id, flags, initial value)]
GATT = [
    ('180a', [('2a29', ['read'], b'SHIMANO'), ('2a24', ['read'], b'EW-WU111'),
              ('2a25', ['read'], b'4501237'), ('2a26', ['read'], b'4.1.0')]),
    ('180f', [('2a19', ['read', 'notify'], bytes([88]))]),
    ('18ef', [('2ac2', ['notify'], b'')]),
]

state = {'connect': 'normal', 'connect_error': None, 'connect_limit_ms': 30000, 'read_error': False,
         'notify_in_progress': False, 'start_notify_calls': 0,
         'channel': [0, 0, 0, 0, 0], 'reports_on_subscribe': False}

# the object manager at "/", known from load() on
root = {}

# device path -> {'asleep', 'gatt', 'pending' (a waiting Connect), 'sessions' (notifying
# characteristics), 'rssi', 'adverts' (how many so far)}
devices = {}


def error(name, message):
    return dbus.exceptions.DBusException(message, name=name)


def changed(obj, iface, props):
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as', [iface, props, []])


def set_props(obj, iface, props):
    for key, value in props.items():
        obj.props[iface][key] = value
    changed(obj, iface, props)


def char_path(unit, service_index, char_index):
    return unit + '/service%04x/char%04x' % (service_index * 16, service_index * 16 + char_index + 1)


def di2_data_path():
    return char_path(UNIT, 2, 0)


def add_gatt(unit):
    manager = root['manager']
    sessions = devices[unit]['sessions']
    for s_index, (service, chars) in enumerate(GATT):
        s_path = unit + '/service%04x' % (s_index * 16)
        manager.AddObject(s_path, SERVICE_IFACE, {
            'UUID': full(service), 'Primary': True, 'Device': dbus.ObjectPath(unit),
            'Includes': dbus.Array([], signature='o')}, [])
        for c_index, (char, flags, value) in enumerate(chars):
            c_path = char_path(unit, s_index, c_index)
            manager.AddObject(c_path, CHAR_IFACE, {
                'UUID': full(char), 'Service': dbus.ObjectPath(s_path),
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
                    'UUID': full('2902'), 'Characteristic': dbus.ObjectPath(c_path),
                    'Value': dbus.Array([], signature='y'), 'Flags': dbus.Array(['read', 'write'], signature='s')}, [])
                desc = mockobject.objects[d_path]
                desc.AddMethod(DESC_IFACE, 'ReadValue', 'a{sv}', 'ay', lambda self, options: dbus.Array([0, 0], signature='y'))
                desc.AddMethod(DESC_IFACE, 'WriteValue', 'aya{sv}', '', lambda self, value, options: None)


def remove_gatt(unit):
    manager = root['manager']
    for path in [p for p in mockobject.objects if p.startswith(unit + '/')]:
        manager.RemoveObject(path)


def read_value(self, options):
    if state['read_error']:
        raise error('org.bluez.Error.NotPermitted', 'Read not permitted')
    return self.props[CHAR_IFACE]['Value']


def unit_of(char):
    return char.path.split('/service')[0]


def start_notify(self):
    if self.path == di2_data_path():
        state['start_notify_calls'] += 1
    if state['notify_in_progress']:
        raise error('org.bluez.Error.InProgress', 'In Progress')
    devices[unit_of(self)]['sessions'].add(self.path)
    set_props(self, CHAR_IFACE, {'Notifying': True})
    if self.path == di2_data_path() and state['reports_on_subscribe']:
        # After StartNotify's reply, as the unit's notification follows the CCCD write.
        GLib.idle_add(lambda: notify_channel() and False)


def stop_notify(self):
    devices[unit_of(self)]['sessions'].discard(self.path)
    set_props(self, CHAR_IFACE, {'Notifying': False})


def establish(device):
    set_props(device, DEVICE_IFACE, {'Connected': True})
    if devices[device.path]['gatt']:
        add_gatt(device.path)
    set_props(device, DEVICE_IFACE, {'ServicesResolved': True})


def drop(device):
    '''The link ends, or was not there: either way BlueZ says so.'''
    set_props(device, DEVICE_IFACE, {'ServicesResolved': False, 'Connected': False})
    remove_gatt(device.path)


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
    finish_pending(path, error('org.bluez.Error.Failed', ABORT_BY_LOCAL))
    return False


def device_connect(self, ok, err):
    device = devices[self.path]
    if not mockobject.objects[ADAPTER].props[ADAPTER_IFACE]['Powered']:
        err(error('org.bluez.Error.NotReady', 'Resource Not Ready'))
    elif self.props[DEVICE_IFACE]['Connected']:
        ok()
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


def async_connect_method():
    '''Connect as a D-Bus method that answers when it can (not a module attribute, which
    dbusmock would put on "/").'''
    def connect(self, ok, err):
        device_connect(self, ok, err)
    return dbus.service.method(DEVICE_IFACE, in_signature='', out_signature='', async_callbacks=('ok', 'err'))(connect)


def device_disconnect(self):
    if devices[self.path]['pending'] is not None:
        finish_pending(self.path, error('org.bluez.Error.Failed', ABORT_BY_LOCAL))
    elif not self.props[DEVICE_IFACE]['Connected']:
        raise error('org.bluez.Error.NotConnected', 'Not Connected')
    else:
        drop(self)


def add_device(path, address, name, rssi, gatt, announce):
    manager = root['manager']
    manager.AddObject(path, DEVICE_IFACE, {
        'Address': address, 'AddressType': 'public', 'Name': name, 'Alias': name,
        'Adapter': dbus.ObjectPath(ADAPTER), 'Paired': False, 'Trusted': False, 'Blocked': False,
        'LegacyPairing': False, 'Connected': False, 'ServicesResolved': False, 'RSSI': dbus.Int16(rssi),
        'UUIDs': dbus.Array([], signature='s')}, [])
    device = mockobject.objects[path]
    device.methods[DEVICE_IFACE]['Connect'] = ('', '', '', async_connect_method())
    device.AddMethod(DEVICE_IFACE, 'Disconnect', '', '', device_disconnect)
    devices[path] = {'asleep': False, 'gatt': gatt, 'pending': None, 'sessions': set(), 'rssi': rssi,
                     'adverts': 0}
    if announce:
        manager.object_manager_emit_added(path)


def advertise():
    adapter = mockobject.objects[ADAPTER].props[ADAPTER_IFACE] if ADAPTER in mockobject.objects else {}
    if adapter.get('Powered') and adapter.get('Discovering'):
        for path, device in devices.items():
            obj = mockobject.objects.get(path)
            if obj is None or device['asleep'] or obj.props[DEVICE_IFACE]['Connected']:
                continue
            device['adverts'] += 1
            set_props(obj, DEVICE_IFACE, {'RSSI': dbus.Int16(device['rssi'] - device['adverts'] % 4)})
    return True


def start_discovery(self):
    set_props(self, ADAPTER_IFACE, {'Discovering': True})
    if NEIGHBOUR not in mockobject.objects:
        add_device(NEIGHBOUR, 'C0:FF:EE:00:00:02', 'HRM-Pro', -72, gatt=False, announce=True)


def stop_discovery(self):
    set_props(self, ADAPTER_IFACE, {'Discovering': False})


def add_adapter(announce):
    manager = root['manager']
    manager.AddObject(ADAPTER, ADAPTER_IFACE, {
        'Address': '00:11:22:33:44:55', 'AddressType': 'public', 'Name': 'fake', 'Alias': 'fake', 'Class': dbus.UInt32(0),
        'Powered': True, 'Discoverable': False, 'Pairable': True, 'Discovering': False,
        'DiscoverableTimeout': dbus.UInt32(0), 'PairableTimeout': dbus.UInt32(0),
        'UUIDs': dbus.Array([], signature='s'), 'Modalias': 'usb:v1D6Bp0246d0537'}, [])
    adapter = mockobject.objects[ADAPTER]
    adapter.AddMethod(ADAPTER_IFACE, 'StartDiscovery', '', '', start_discovery)
    adapter.AddMethod(ADAPTER_IFACE, 'StopDiscovery', '', '', stop_discovery)
    adapter.AddMethod(ADAPTER_IFACE, 'SetDiscoveryFilter', 'a{sv}', '', lambda self, f: None)
    adapter.AddMethod(ADAPTER_IFACE, 'GetDiscoveryFilters', '', 'as', lambda self: dbus.Array([], signature='s'))
    adapter.AddMethod(ADAPTER_IFACE, 'RemoveDevice', 'o', '', lambda self, path: None)
    if announce:
        manager.object_manager_emit_added(ADAPTER)
    add_device(UNIT, UNIT_ADDRESS, 'EW-WU111', -55, gatt=True, announce=announce)


def load(mock, _parameters):
    root['manager'] = mock
    mock.AddObject('/org/bluez', 'org.bluez.AgentManager1', {}, [
        ('RegisterAgent', 'os', '', ''), ('UnregisterAgent', 'o', '', ''), ('RequestDefaultAgent', 'o', '', '')])
    add_adapter(announce=False)
    GLib.timeout_add(ADVERTISING_INTERVAL_MS, advertise)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetAsleep(self, asleep):
    devices[UNIT]['asleep'] = bool(asleep)
    if not asleep:
        finish_pending(UNIT)


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def SetConnectLimit(self, milliseconds):
    state['connect_limit_ms'] = int(milliseconds)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetConnectMode(self, mode):
    state['connect'] = mode


@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='')
def SetConnectError(self, name, message):
    state['connect_error'] = (str(name), str(message)) if name else None


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetNotifyInProgress(self, in_progress):
    state['notify_in_progress'] = bool(in_progress)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetReadError(self, failing):
    state['read_error'] = bool(failing)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetPowered(self, powered):
    adapter = mockobject.objects[ADAPTER]
    if not powered:
        for path, device in devices.items():
            finish_pending(path, error('org.bluez.Error.Failed', 'Software caused connection abort'))
            if mockobject.objects[path].props[DEVICE_IFACE]['Connected']:
                drop(mockobject.objects[path])
        if adapter.props[ADAPTER_IFACE]['Discovering']:
            set_props(adapter, ADAPTER_IFACE, {'Discovering': False})
    set_props(adapter, ADAPTER_IFACE, {'Powered': bool(powered)})


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
        for path in sorted((p for p in mockobject.objects if p.startswith(ADAPTER)), reverse=True):
            manager.object_manager_emit_removed(path)
            manager.RemoveObject(path)


def notify_channel():
    '''The unit notifies its channel state, if anybody listens.'''
    path = di2_data_path()
    if path not in mockobject.objects or not mockobject.objects[UNIT].props[DEVICE_IFACE]['Connected']:
        return
    if not mockobject.objects[path].props[CHAR_IFACE]['Notifying']:
        return
    set_props(mockobject.objects[path], CHAR_IFACE, {'Value': dbus.Array(state['channel'], signature='y')})


@dbus.service.method(MOCK_IFACE, in_signature='ay', out_signature='')
def Notify(self, value):
    '''A notification of the Di2 data characteristic.'''
    if len(value) == 5:
        state['channel'] = [int(b) for b in value]
    set_props(mockobject.objects[di2_data_path()], CHAR_IFACE, {'Value': dbus.Array(value, signature='y')})


@dbus.service.method(MOCK_IFACE, in_signature='y', out_signature='')
def Press(self, button):
    channel = state['channel']
    channel[0] = (channel[0] + 1) % 256  # the checksum byte moves too; nobody checks it
    channel[button] = (channel[button] + 1) % 256
    notify_channel()


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetReportsOnSubscribe(self, reports):
    state['reports_on_subscribe'] = bool(reports)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def DropLink(self):
    drop(mockobject.objects[UNIT])


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='b')
def IsNotifying(self):
    '''Whether the Di2 data characteristic is subscribed.'''
    path = di2_data_path()
    return path in mockobject.objects and bool(mockobject.objects[path].props[CHAR_IFACE]['Notifying'])


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def AddSecondUnit(self):
    if SECOND_UNIT not in mockobject.objects:
        add_device(SECOND_UNIT, SECOND_UNIT_ADDRESS, 'EW-WU111', -60, gatt=True, announce=True)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='u')
def PendingConnects(self):
    return dbus.UInt32(sum(1 for device in devices.values() if device['pending'] is not None))


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='u')
def StartNotifyCalls(self):
    return dbus.UInt32(state['start_notify_calls'])
