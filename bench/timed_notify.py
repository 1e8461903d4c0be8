'''Added by scripts/bench to the tests' fake bluetoothd (org.freedesktop.DBus.Mock.AddTemplate
on "/"), so that a press is timed from the moment its notification leaves bluetoothd rather
than from a D-Bus call into the fake:

  NotifyTimed(ay) -> t   the same notification of the unit's Di2 data characteristic as
                         Notify; answers the CLOCK_MONOTONIC nanoseconds at which it was sent.
'''

import time

import dbus
from dbusmock import mockobject

MOCK_IFACE = 'org.bluez.Mock'
CHAR_IFACE = 'org.bluez.GattCharacteristic1'
UNIT = '/org/bluez/hci0/dev_C0_FF_EE_00_00_01'
DI2_DATA_UUID = '00002ac2-0000-1000-8000-00805f9b34fb'


def load(_mock, _parameters):
    pass


def di2_data():
    for path, obj in mockobject.objects.items():
        if path.startswith(UNIT + '/') and obj.props.get(CHAR_IFACE, {}).get('UUID') == DI2_DATA_UUID:
            return obj
    raise dbus.exceptions.DBusException('the unit is not connected', name='org.bluez.Error.NotConnected')


@dbus.service.method(MOCK_IFACE, in_signature='ay', out_signature='t')
def NotifyTimed(self, value):
    characteristic = di2_data()
    props = {'Value': dbus.Array(value, signature='y')}
    characteristic.props[CHAR_IFACE].update(props)
    # Built before the clock is read, so that only the sending is timed.
    signal = dbus.lowlevel.SignalMessage(characteristic.path, dbus.PROPERTIES_IFACE, 'PropertiesChanged')
    signal.append(CHAR_IFACE, props, dbus.Array([], signature='s'), signature='sa{sv}as')
    sent = time.monotonic_ns()
    for location in characteristic.locations:
        location[0].send_message(signal)
    return dbus.UInt64(sent)
