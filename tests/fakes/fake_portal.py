'''A fake XDG desktop portal for tests: the Settings interface, with the one setting Cogwise
reads, org.freedesktop.appearance color-scheme (0 no preference, 1 dark, 2 light).

Loaded by python3-dbusmock:  python3 -m dbusmock --session --template fake_portal.py
The parameter "scheme" sets the value at start (0 unless given). Control it through the
org.freedesktop.portal.Mock interface of the portal's object:

  SetColorScheme(u)   the rider changes the setting: stored, and SettingChanged emitted.

Read answers the value wrapped twice in a variant, as version 1 of the interface does;
any other setting answers org.freedesktop.portal.Error.NotFound.
'''

import dbus
import dbus.service

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Settings'
SYSTEM_BUS = False

MOCK_IFACE = 'org.freedesktop.portal.Mock'
APPEARANCE = 'org.freedesktop.appearance'
COLOR_SCHEME = 'color-scheme'


class NotFound(dbus.DBusException):
    _dbus_error_name = 'org.freedesktop.portal.Error.NotFound'


def load(mock, parameters):
    mock.color_scheme = dbus.UInt32(parameters.get('scheme', 0))
    mock.AddProperties(MAIN_IFACE, {'version': dbus.UInt32(1)})


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='v')
def Read(self, namespace, key):
    if namespace != APPEARANCE or key != COLOR_SCHEME:
        raise NotFound('Requested setting not found')
    return dbus.UInt32(self.color_scheme, variant_level=2)


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def SetColorScheme(self, scheme):
    self.color_scheme = dbus.UInt32(scheme)
    self.EmitSignal(MAIN_IFACE, 'SettingChanged', 'ssv',
                    [APPEARANCE, COLOR_SCHEME, dbus.UInt32(scheme, variant_level=1)])
