'''A fake bluetoothd for tests: one adapter, a remembered Di2 unit with a GATT
database, a neighbour that only shows up while scanning, and switches to make the
unit fail, hang, drop the link or the adapter power off.

Loaded by python3-dbusmock:  python3 -m dbusmock --system --template fake_bluez.py
Control it through the org.bluez.Mock interface of "/".
'''

import dbus

from dbusmock import OBJECT_MANAGER_IFACE, mockobject

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


def full(short):
    return '0000%s-0000-1000-8000-00805f9b34fb' % short.lower()


# service short id -> [(characteristic short id, flags, initial value)]
GATT = [
    ('180a', [('2a29', ['read'], b'SHIMANO'), ('2a24', ['read'], b'EW-WU111'),
              ('2a25', ['read'], b'4501237'), ('2a26', ['read'], b'4.1.0')]),
    ('180f', [('2a19', ['read', 'notify'], bytes([88]))]),
    ('18ef', [('2ac2', ['notify'], b'')]),
]

state = {'connect': 'normal', 'read_error': False}


def changed(obj, iface, props):
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as', [iface, props, []])


def set_props(obj, iface, props):
    for key, value in props.items():
        obj.props[iface][key] = value
    changed(obj, iface, props)


def char_path(service_index, char_index):
    return UNIT + '/service%04x/char%04x' % (service_index * 16, service_index * 16 + char_index + 1)


def add_gatt(manager):
    for s_index, (service, chars) in enumerate(GATT):
        s_path = UNIT + '/service%04x' % (s_index * 16)
        manager.AddObject(s_path, SERVICE_IFACE, {
            'UUID': full(service), 'Primary': True, 'Device': dbus.ObjectPath(UNIT),
            'Includes': dbus.Array([], signature='o')}, [])
        for c_index, (char, flags, value) in enumerate(chars):
            c_path = char_path(s_index, c_index)
            manager.AddObject(c_path, CHAR_IFACE, {
                'UUID': full(char), 'Service': dbus.ObjectPath(s_path),
                'Flags': dbus.Array(flags, signature='s'),
                'Value': dbus.Array(value, signature='y'), 'Notifying': False}, [])
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


def remove_gatt(manager):
    for path in [p for p in mockobject.objects if p.startswith(UNIT + '/')]:
        manager.RemoveObject(path)


def read_value(self, options):
    if state['read_error']:
        raise dbus.exceptions.DBusException('Read not permitted', name='org.bluez.Error.NotPermitted')
    return self.props[CHAR_IFACE]['Value']


def start_notify(self):
    set_props(self, CHAR_IFACE, {'Notifying': True})


def stop_notify(self):
    set_props(self, CHAR_IFACE, {'Notifying': False})


def device_connect(self):
    manager = mockobject.objects['/']
    if state['connect'] == 'fail':
        raise dbus.exceptions.DBusException('Connection refused', name='org.bluez.Error.Failed')
    if state['connect'] == 'hang':
        return  # the answer comes, the link never does
    set_props(self, DEVICE_IFACE, {'Connected': True})
    add_gatt(manager)
    set_props(self, DEVICE_IFACE, {'ServicesResolved': True})


def device_disconnect(self):
    set_props(self, DEVICE_IFACE, {'ServicesResolved': False, 'Connected': False})
    remove_gatt(mockobject.objects['/'])


def add_device(manager, path, address, name, rssi):
    manager.AddObject(path, DEVICE_IFACE, {
        'Address': address, 'AddressType': 'public', 'Name': name, 'Alias': name,
        'Adapter': dbus.ObjectPath(ADAPTER), 'Paired': False, 'Trusted': False, 'Blocked': False,
        'LegacyPairing': False, 'Connected': False, 'ServicesResolved': False, 'RSSI': dbus.Int16(rssi),
        'UUIDs': dbus.Array([], signature='s')}, [])
    device = mockobject.objects[path]
    device.AddMethod(DEVICE_IFACE, 'Connect', '', '', device_connect)
    device.AddMethod(DEVICE_IFACE, 'Disconnect', '', '', device_disconnect)


def start_discovery(self):
    manager = mockobject.objects['/']
    set_props(self, ADAPTER_IFACE, {'Discovering': True})
    if NEIGHBOUR not in mockobject.objects:
        add_device(manager, NEIGHBOUR, 'C0:FF:EE:00:00:02', 'HRM-Pro', -72)
    set_props(mockobject.objects[UNIT], DEVICE_IFACE, {'RSSI': dbus.Int16(-51)})


def stop_discovery(self):
    set_props(self, ADAPTER_IFACE, {'Discovering': False})


def load(mock, _parameters):
    mock.AddObject('/org/bluez', 'org.bluez.AgentManager1', {}, [
        ('RegisterAgent', 'os', '', ''), ('UnregisterAgent', 'o', '', ''), ('RequestDefaultAgent', 'o', '', '')])
    mock.AddObject(ADAPTER, ADAPTER_IFACE, {
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
    add_device(mock, UNIT, UNIT_ADDRESS, 'EW-WU111', -55)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetConnectMode(self, mode):
    state['connect'] = mode


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetReadError(self, failing):
    state['read_error'] = bool(failing)


@dbus.service.method(MOCK_IFACE, in_signature='b', out_signature='')
def SetPowered(self, powered):
    set_props(mockobject.objects[ADAPTER], ADAPTER_IFACE, {'Powered': bool(powered)})


@dbus.service.method(MOCK_IFACE, in_signature='ay', out_signature='')
def Notify(self, value):
    '''A notification of the Di2 data characteristic.'''
    path = char_path(2, 0)
    set_props(mockobject.objects[path], CHAR_IFACE, {'Value': dbus.Array(value, signature='y')})


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def DropLink(self):
    device_disconnect(mockobject.objects[UNIT])


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='b')
def IsNotifying(self):
    '''Whether the Di2 data characteristic is subscribed.'''
    path = char_path(2, 0)
    return path in mockobject.objects and bool(mockobject.objects[path].props[CHAR_IFACE]['Notifying'])
