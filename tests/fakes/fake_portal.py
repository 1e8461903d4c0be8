'''A fake XDG desktop portal for tests: the Settings interface, with the one setting Cogwise
reads, org.freedesktop.appearance color-scheme (0 no preference, 1 dark, 2 light), and the
RemoteDesktop interface, through which Cogwise types keys on Wayland.

Loaded by python3-dbusmock:  python3 -m dbusmock --session --template fake_portal.py
--parameters '{"scheme": u, "remote_desktop": b, "version": u, "consent": s}', all optional,
as FakePortal (tests/support/FakePortal.h) gives them.

The org.freedesktop.portal.Mock interface of the portal's object controls it (SetColorScheme,
SetConsent, Answer, CloseSession) and tells what it saw (KeyEvents and the counters below).

As xdg-desktop-portal 1.16 does: Read answers the value wrapped twice in a variant; requests
and sessions live at paths made of the caller's unique name and its tokens; a request object
goes once it has answered, and its Response comes after the reply to the call; an invalid
handle_token leaves the call without any answer; a session is its creator's alone; SelectDevices
only before Start, Start only once; a Start that is not granted closes the session; the devices
granted are the types selected; with persist_mode 1 or 2 the grant carries a fresh restore
token, which restores once without a dialog (mode 1 only for the connection it was given to);
keys are refused unless the session was granted the keyboard; overlapping key calls reach the
desktop in any order.
'''

import functools
import re

import dbus
import dbus.service
from gi.repository import GLib

from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Settings'
SYSTEM_BUS = False

MOCK_IFACE = 'org.freedesktop.portal.Mock'
APPEARANCE = 'org.freedesktop.appearance'
COLOR_SCHEME = 'color-scheme'

REMOTE_DESKTOP_IFACE = 'org.freedesktop.portal.RemoteDesktop'
REQUEST_IFACE = 'org.freedesktop.portal.Request'
SESSION_IFACE = 'org.freedesktop.portal.Session'
REQUEST_ROOT = MAIN_OBJ + '/request/'
SESSION_ROOT = MAIN_OBJ + '/session/'

NOT_FOUND = 'org.freedesktop.portal.Error.NotFound'
INVALID_ARGUMENT = 'org.freedesktop.portal.Error.InvalidArgument'
FAILED = 'org.freedesktop.DBus.Error.Failed'

KEYBOARD = 1
ALL_DEVICES = 7
CONSENT_MODES = ('allow', 'deny', 'wait')
TOKEN = re.compile(r'^[A-Za-z0-9_]+$')


def portal_error(name, message):
    return dbus.exceptions.DBusException(message, name=name)


class Unanswered(Exception):
    '''The call gets no reply at all, as the real portal does with an invalid token.'''


def load(mock, parameters):
    mock.color_scheme = dbus.UInt32(parameters.get('scheme', 0))
    mock.AddProperties(MAIN_IFACE, {'version': dbus.UInt32(1)})

    mock.rd_version = int(parameters.get('version', 1))
    mock.consent = str(parameters.get('consent', 'allow'))
    mock.tokens = {}  # token -> unique name it is bound to, or None when any caller may restore it
    mock.issued_tokens = 0
    mock.generated = 0
    # session path -> {'sender', 'state' (init|starting|started|closing|closed), 'selected' (the
    # devices a grant gives), 'persist_mode', 'restore_token', 'granted'}
    mock.sessions = {}
    mock.pending = []  # open dialogs, oldest first: {'session', 'request', 'sender'}
    mock.key_events = []
    mock.held_keys = []
    mock.last_restore_token = ''
    mock.last_persist_mode = 0
    mock.dialogs = 0
    mock.closed_by_client = 0
    mock.sessions_created = 0

    if parameters.get('remote_desktop', True):
        mock.AddProperties(REMOTE_DESKTOP_IFACE, {'version': dbus.UInt32(mock.rd_version),
                                                  'AvailableDeviceTypes': dbus.UInt32(ALL_DEVICES)})
    else:
        # The template's methods were registered before load(), on the object and its class;
        # a desktop without the interface must answer neither.
        for name in mock.methods.pop(REMOTE_DESKTOP_IFACE, {}):
            if hasattr(type(mock), name):
                delattr(type(mock), name)


def sender_element(sender):
    return str(sender).lstrip(':').replace('.', '_')


def option(options, key, kind, default):
    if key not in options:
        return default
    value = options[key]
    if not isinstance(value, kind) or isinstance(value, dbus.Boolean):
        raise portal_error(INVALID_ARGUMENT, 'Invalid type for option %s' % key)
    return value


def token_option(mock, options, key):
    token = option(options, key, str, None)
    if token is None:
        mock.generated += 1
        return 't%d' % mock.generated
    if not TOKEN.match(token):
        raise Unanswered()
    return str(token)


def new_request(mock, sender, options):
    path = REQUEST_ROOT + sender_element(sender) + '/' + token_option(mock, options, 'handle_token')
    mock.AddObject(path, REQUEST_IFACE, {}, [])
    return path


def respond(request, response, results):
    '''Response on the request, which then goes; sent once the handler's reply is out.'''
    def emit():
        obj = mockobject.objects.pop(request, None)
        if obj is not None:
            obj.EmitSignal(REQUEST_IFACE, 'Response', 'ua{sv}',
                           [dbus.UInt32(response), dbus.Dictionary(results, signature='sv')])
            obj.remove_from_connection()
        return False
    GLib.idle_add(emit)


def owned_session(mock, handle, sender):
    session = mock.sessions.get(str(handle))
    if session is None or session['sender'] != sender or session['state'] == 'closed':
        raise portal_error('org.freedesktop.DBus.Error.AccessDenied', 'Invalid session')
    return session


def end_session(mock, path, notify):
    mock.sessions[path]['state'] = 'closed'
    obj = mockobject.objects.pop(path, None)
    if obj is None:
        return
    if notify:
        obj.EmitSignal(SESSION_IFACE, 'Closed', 'a{sv}', [dbus.Dictionary({}, signature='sv')])
    obj.remove_from_connection()


def grant(mock, path, sender):
    session = mock.sessions[path]
    session['state'] = 'started'
    session['granted'] = session['selected']
    results = {'devices': dbus.UInt32(session['granted'])}
    if mock.rd_version >= 2 and session['persist_mode'] in (1, 2):
        mock.issued_tokens += 1
        token = 'token-%d' % mock.issued_tokens
        mock.tokens[token] = sender if session['persist_mode'] == 1 else None
        results['restore_token'] = dbus.String(token)
    return results


def finish(mock, path, request, response, sender):
    '''The dialog's outcome: Response, and a session that is not granted closes after it.'''
    if response == 0:
        respond(request, 0, grant(mock, path, sender))
    else:
        respond(request, response, {})
        mock.sessions[path]['state'] = 'closing'
        GLib.idle_add(lambda: end_session(mock, path, notify=True) and False)


def checked_notify(mock, handle, sender, kind, value, state):
    session = owned_session(mock, handle, sender)
    if session['state'] != 'started' or not session['granted'] & KEYBOARD:
        raise portal_error(FAILED, "Session doesn't have access to a device of type: keyboard")
    mock.key_events.append((kind, int(value), int(state)))


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='v')
def Read(self, namespace, key):
    if namespace != APPEARANCE or key != COLOR_SCHEME:
        raise portal_error(NOT_FOUND, 'Requested setting not found')
    return dbus.UInt32(self.color_scheme, variant_level=2)


def answer(mock, reply, error_reply, handler, *arguments):
    '''Replies as the handler says, or not at all when it raises Unanswered.'''
    try:
        result = handler(mock, *arguments)
    except Unanswered:
        return
    except dbus.DBusException as failure:
        error_reply(failure)
        return
    reply() if result is None else reply(result)


def remote_desktop(in_signature):
    '''A RemoteDesktop method whose body answer() replies for; its D-Bus arguments stay the body's.'''
    def decorate(handler):
        @functools.wraps(handler)
        def method(self, *arguments, sender=None, reply=None, error=None):
            answer(self, reply, error, handler, *arguments, sender)
        return dbus.service.method(REMOTE_DESKTOP_IFACE, in_signature=in_signature, out_signature='o',
                                   sender_keyword='sender', async_callbacks=('reply', 'error'))(method)
    return decorate


@remote_desktop('a{sv}')
def CreateSession(self, options, sender=None, reply=None, error=None):
    session_path = SESSION_ROOT + sender_element(sender) + '/' + token_option(self, options, 'session_handle_token')
    if session_path in mockobject.objects:
        raise portal_error(FAILED, 'Session token in use')
    request = new_request(self, sender, options)
    self.AddObject(session_path, SESSION_IFACE, {}, [])
    mockobject.objects[session_path].AddMethod(SESSION_IFACE, 'Close', '', '', close_session)
    # Without SelectDevices, a grant gives no device.
    self.sessions[session_path] = {'sender': str(sender), 'state': 'init', 'selected': 0,
                                   'persist_mode': 0, 'restore_token': '', 'granted': 0}
    self.sessions_created += 1
    respond(request, 0, {'session_handle': dbus.String(session_path)})
    return dbus.ObjectPath(request)


@remote_desktop('oa{sv}')
def SelectDevices(self, session_handle, options, sender=None, reply=None, error=None):
    session = owned_session(self, session_handle, sender)
    if session['state'] != 'init':
        raise portal_error(FAILED, 'Invalid state')
    types = int(option(options, 'types', int, ALL_DEVICES))
    if types & ~ALL_DEVICES:
        raise portal_error(INVALID_ARGUMENT, 'Unsupported device type: %x' % (types & ~ALL_DEVICES))
    persist_mode = int(option(options, 'persist_mode', int, 0))
    if not 0 <= persist_mode <= 2:
        raise portal_error(INVALID_ARGUMENT, 'Invalid persist mode %d' % persist_mode)
    restore_token = str(option(options, 'restore_token', str, ''))
    request = new_request(self, sender, options)
    self.last_restore_token = restore_token
    self.last_persist_mode = persist_mode
    session['selected'] = types
    # A version 1 portal knows neither option and ignores them.
    if self.rd_version >= 2:
        session['persist_mode'] = persist_mode
        session['restore_token'] = restore_token
    respond(request, 0, {})
    return dbus.ObjectPath(request)


@remote_desktop('osa{sv}')
def Start(self, session_handle, parent_window, options, sender=None, reply=None, error=None):
    path = str(session_handle)
    session = owned_session(self, path, sender)
    if session['state'] != 'init':
        raise portal_error(FAILED, 'Invalid state')
    request = new_request(self, sender, options)
    token = session['restore_token']
    if token and token in self.tokens and self.tokens[token] in (None, sender):
        # The desktop remembers this grant: no dialog, and the token is spent.
        del self.tokens[token]
        finish(self, path, request, 0, sender)
        return dbus.ObjectPath(request)
    self.dialogs += 1
    if self.consent == 'wait':
        session['state'] = 'starting'
        self.pending.append({'session': path, 'request': request, 'sender': sender})
    else:
        finish(self, path, request, 0 if self.consent == 'allow' else 1, sender)
    return dbus.ObjectPath(request)


def held_notify(mock, reply, error_reply, *call):
    '''xdg-desktop-portal hands each call to its back-end on its own, so calls that overlap reach
    the desktop in any order: here, those that arrive within a few milliseconds go newest first.'''
    if not mock.held_keys:
        GLib.timeout_add(3, forward_held_keys, mock)
    mock.held_keys.append((reply, error_reply, call))


def forward_held_keys(mock):
    held, mock.held_keys = mock.held_keys, []
    for reply, error_reply, call in reversed(held):
        answer(mock, reply, error_reply, checked_notify, *call)
    return False


@dbus.service.method(REMOTE_DESKTOP_IFACE, in_signature='oa{sv}iu', out_signature='', sender_keyword='sender',
                     async_callbacks=('reply', 'error'))
def NotifyKeyboardKeycode(self, session_handle, options, keycode, state, sender=None, reply=None, error=None):
    held_notify(self, reply, error, session_handle, sender, 'keycode', keycode, state)


@dbus.service.method(REMOTE_DESKTOP_IFACE, in_signature='oa{sv}iu', out_signature='', sender_keyword='sender',
                     async_callbacks=('reply', 'error'))
def NotifyKeyboardKeysym(self, session_handle, options, keysym, state, sender=None, reply=None, error=None):
    held_notify(self, reply, error, session_handle, sender, 'keysym', keysym, state)


def close_session(self):
    '''Session.Close() of the client: a closed session's object is gone, so a second one fails.'''
    mock = mockobject.objects[MAIN_OBJ]
    mock.closed_by_client += 1
    end_session(mock, self.path, notify=False)


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def SetColorScheme(self, scheme):
    '''The rider changes the setting.'''
    self.color_scheme = dbus.UInt32(scheme)
    self.EmitSignal(MAIN_IFACE, 'SettingChanged', 'ssv',
                    [APPEARANCE, COLOR_SCHEME, dbus.UInt32(scheme, variant_level=1)])


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetConsent(self, mode):
    if mode not in CONSENT_MODES:
        raise portal_error(INVALID_ARGUMENT, 'Unknown consent mode %s' % mode)
    self.consent = str(mode)


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def Answer(self, response):
    '''The user answers the oldest open dialog: 0 allow, 1 cancel, 2 other error.'''
    dialog = self.pending.pop(0)
    finish(self, dialog['session'], dialog['request'], int(response), dialog['sender'])


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def CloseSession(self):
    '''The desktop ends every open session.'''
    for path, session in list(self.sessions.items()):
        if session['state'] != 'closed':
            end_session(self, path, notify=True)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a(siu)')
def KeyEvents(self):
    return dbus.Array([dbus.Struct((kind, dbus.Int32(value), dbus.UInt32(state)), signature='siu')
                       for kind, value, state in self.key_events], signature='(siu)')


def query(name, out_signature, answer):
    '''A method of org.freedesktop.portal.Mock that only answers: what answer() finds now.'''
    def method(self):
        return answer(self)
    method.__name__ = name
    return dbus.service.method(MOCK_IFACE, in_signature='', out_signature=out_signature)(method)


# Given to the last SelectDevices; consent dialogs shown; sessions the client closed; created.
LastRestoreToken = query('LastRestoreToken', 's', lambda mock: mock.last_restore_token)
LastPersistMode = query('LastPersistMode', 'u', lambda mock: dbus.UInt32(mock.last_persist_mode))
Dialogs = query('Dialogs', 'u', lambda mock: dbus.UInt32(mock.dialogs))
ClosedByClient = query('ClosedByClient', 'u', lambda mock: dbus.UInt32(mock.closed_by_client))
Sessions = query('Sessions', 'u', lambda mock: dbus.UInt32(mock.sessions_created))
