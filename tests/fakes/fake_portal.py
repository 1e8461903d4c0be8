'''A fake XDG desktop portal for tests: the Settings interface, with the one setting Cogwise
reads, org.freedesktop.appearance color-scheme (0 no preference, 1 dark, 2 light), and the
RemoteDesktop interface, through which Cogwise types keys on Wayland.

Loaded by python3-dbusmock:  python3 -m dbusmock --session --template fake_portal.py
Parameters (all optional):

  scheme          u     color-scheme at start (0).
  remote_desktop  b     whether the portal offers RemoteDesktop at all (true); without it, its
                        calls answer org.freedesktop.DBus.Error.UnknownMethod.
  version         u     RemoteDesktop's version property (1, as Debian 12's xdg-desktop-portal
                        1.16 has). From 2 on, SelectDevices honours persist_mode and
                        restore_token; version 1 drops them silently.
  consent         s     what the user does with the dialog Start shows ('allow'):
                          'allow'  grants at once;
                          'deny'   cancels (response 1);
                          'wait'   leaves the dialog open until Answer().
  known_tokens    as    restore tokens the desktop remembers from before this run ([]).

Control it through the org.freedesktop.portal.Mock interface of the portal's object:

  SetColorScheme(u)      the rider changes the setting: stored, and SettingChanged emitted.
  SetConsent(s)          the consent mode from now on.
  Answer(u)              the user answers the oldest open dialog: 0 allow, 1 cancel, 2 other
                         error. org.freedesktop.portal.Error.NotFound when none is open.
  UnansweredCalls() -> u calls left without any reply (an invalid handle_token).
  CloseSession()         the desktop ends every open session: Closed({}) on each.
  KeyEvents() -> a(siu)  the key events typed so far: ('keycode'|'keysym', value, state).
  LastRestoreToken() -> s  restore_token given to the last SelectDevices ('' if none).
  LastPersistMode() -> u   persist_mode given to the last SelectDevices (0 if none).
  Dialogs() -> u         consent dialogs shown.
  ClosedByClient() -> u  sessions the client closed with Session.Close().
  Sessions() -> u        sessions created.

Read answers the value wrapped twice in a variant, as version 1 of the interface does;
any other setting answers org.freedesktop.portal.Error.NotFound.

As xdg-desktop-portal 1.16 does: requests and sessions live at paths made of the caller's
unique name and its tokens (a request path already in use gets a suffix); a request object goes
once it has answered; every Response comes after the reply to the call that caused it; a
handle_token or session_handle_token that is not a valid object path element leaves the call
without any answer (its session hangs); a session may be used only by its creator, others get
org.freedesktop.DBus.Error.AccessDenied "Invalid session"; SelectDevices only before Start,
Start only once (org.freedesktop.DBus.Error.Failed "Invalid state"); a Start that is not
granted closes the session (Closed emitted after the Response); a session's object goes when it
closes, so a later Session.Close() fails; the devices granted are the types selected (all when
SelectDevices named none, none without SelectDevices); with persist_mode 1 or 2 the grant
carries a fresh restore token, and a token restores once, without a dialog. A persist_mode 1
token restores only for the connection it was given to (the app as long as it runs); a
persist_mode 2 token, or one in known_tokens, for anyone. Request.Close() on an open dialog
closes its session. NotifyKeyboardKeycode and NotifyKeyboardKeysym answer
org.freedesktop.DBus.Error.Failed "Session doesn't have access to a device of type: keyboard"
unless the session is started and was granted the keyboard; calls of these two that overlap
reach the desktop in any order (here: newest first). Bad options answer
org.freedesktop.portal.Error.InvalidArgument.
'''

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

KEYBOARD = 1
ALL_DEVICES = 7
CONSENT_MODES = ('allow', 'deny', 'wait')
TOKEN = re.compile(r'^[A-Za-z0-9_]+$')


class NotFound(dbus.DBusException):
    _dbus_error_name = 'org.freedesktop.portal.Error.NotFound'


class InvalidArgument(dbus.DBusException):
    _dbus_error_name = 'org.freedesktop.portal.Error.InvalidArgument'


class Failed(dbus.DBusException):
    _dbus_error_name = 'org.freedesktop.DBus.Error.Failed'


class AccessDenied(dbus.DBusException):
    _dbus_error_name = 'org.freedesktop.DBus.Error.AccessDenied'


class Unanswered(Exception):
    '''The call gets no reply at all, as the real portal does with an invalid token.'''


def load(mock, parameters):
    mock.color_scheme = dbus.UInt32(parameters.get('scheme', 0))
    mock.AddProperties(MAIN_IFACE, {'version': dbus.UInt32(1)})

    mock.rd_version = int(parameters.get('version', 1))
    mock.unanswered = 0
    consent = str(parameters.get('consent', 'allow'))
    mock.consent = consent if consent in CONSENT_MODES else 'allow'
    # token -> unique name it is bound to, or None when any caller may restore it
    mock.tokens = {str(token): None for token in parameters.get('known_tokens', [])}
    mock.issued_tokens = 0
    mock.generated = 0
    # session path -> {'sender', 'state' (init|starting|started|closed), 'selected' (types or
    # None), 'devices_selected', 'persist_mode', 'restore_token', 'granted'}
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


# --- helpers ---------------------------------------------------------------------------------

def sender_element(sender):
    return str(sender).lstrip(':').replace('.', '_')


def option(options, key, kind, default):
    if key not in options:
        return default
    value = options[key]
    if not isinstance(value, kind) or isinstance(value, dbus.Boolean):
        raise InvalidArgument('Invalid type for option %s' % key)
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
    base, suffix = path, 0
    while path in mockobject.objects:
        suffix += 1
        path = '%s/%d' % (base, suffix)
    mock.AddObject(path, REQUEST_IFACE, {}, [])
    mockobject.objects[path].AddMethod(REQUEST_IFACE, 'Close', '', '', close_request)
    return path


def respond(request, response, results):
    '''Response on the request, which then goes; sent once the handler's reply is out.'''
    GLib.idle_add(emit_response, request, response, results)


def emit_response(request, response, results):
    obj = mockobject.objects.get(request)
    if obj is None:
        return False
    obj.EmitSignal(REQUEST_IFACE, 'Response', 'ua{sv}',
                   [dbus.UInt32(response), dbus.Dictionary(results, signature='sv')])
    obj.remove_from_connection()
    del mockobject.objects[request]
    return False


def owned_session(mock, handle, sender):
    session = mock.sessions.get(str(handle))
    if session is None or session['sender'] != sender or session['state'] == 'closed':
        raise AccessDenied('Invalid session')
    return session


def end_session(mock, path, notify):
    session = mock.sessions[path]
    session['state'] = 'closed'
    for dialog in [d for d in mock.pending if d['session'] == path]:
        mock.pending.remove(dialog)
        obj = mockobject.objects.pop(dialog['request'], None)
        if obj is not None:
            obj.remove_from_connection()
    obj = mockobject.objects.get(path)
    if obj is None:
        return
    if notify:
        obj.EmitSignal(SESSION_IFACE, 'Closed', 'a{sv}', [dbus.Dictionary({}, signature='sv')])
    obj.remove_from_connection()
    del mockobject.objects[path]


def grant(mock, path, sender):
    session = mock.sessions[path]
    session['state'] = 'started'
    if not session['devices_selected']:
        session['granted'] = 0
    else:
        session['granted'] = session['selected'] if session['selected'] is not None else ALL_DEVICES
    results = {'devices': dbus.UInt32(session['granted'])}
    if mock.rd_version >= 2 and session['persist_mode'] in (1, 2):
        token = new_token(mock)
        mock.tokens[token] = sender if session['persist_mode'] == 1 else None
        results['restore_token'] = dbus.String(token)
    return results


def new_token(mock):
    while True:
        mock.issued_tokens += 1
        token = 'token-%d' % mock.issued_tokens
        if token not in mock.tokens:
            return token


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
        raise Failed("Session doesn't have access to a device of type: keyboard")
    mock.key_events.append((kind, int(value), int(state)))


# --- org.freedesktop.portal.Settings -------------------------------------------------------

@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='v')
def Read(self, namespace, key):
    if namespace != APPEARANCE or key != COLOR_SCHEME:
        raise NotFound('Requested setting not found')
    return dbus.UInt32(self.color_scheme, variant_level=2)


# --- org.freedesktop.portal.RemoteDesktop --------------------------------------------------

def answer(mock, reply, error, handler, *arguments):
    '''Replies as the handler says, or not at all when it raises Unanswered.'''
    try:
        result = handler(mock, *arguments)
    except Unanswered:
        mock.unanswered += 1
        return
    except dbus.DBusException as failure:
        error(failure)
        return
    if result is None:
        reply()
    else:
        reply(result)


@dbus.service.method(REMOTE_DESKTOP_IFACE, in_signature='a{sv}', out_signature='o', sender_keyword='sender',
                     async_callbacks=('reply', 'error'))
def CreateSession(self, options, sender=None, reply=None, error=None):
    answer(self, reply, error, create_session, options, sender)


def create_session(self, options, sender):
    session_path = SESSION_ROOT + sender_element(sender) + '/' + token_option(self, options, 'session_handle_token')
    if session_path in mockobject.objects:
        raise Failed('Session token in use')
    request = new_request(self, sender, options)
    self.AddObject(session_path, SESSION_IFACE, {}, [])
    mockobject.objects[session_path].AddMethod(SESSION_IFACE, 'Close', '', '', close_session)
    self.sessions[session_path] = {'sender': str(sender), 'state': 'init', 'selected': None,
                                   'devices_selected': False, 'persist_mode': 0,
                                   'restore_token': '', 'granted': 0}
    self.sessions_created += 1
    respond(request, 0, {'session_handle': dbus.String(session_path)})
    return dbus.ObjectPath(request)


@dbus.service.method(REMOTE_DESKTOP_IFACE, in_signature='oa{sv}', out_signature='o', sender_keyword='sender',
                     async_callbacks=('reply', 'error'))
def SelectDevices(self, session_handle, options, sender=None, reply=None, error=None):
    answer(self, reply, error, select_devices, session_handle, options, sender)


def select_devices(self, session_handle, options, sender):
    session = owned_session(self, session_handle, sender)
    if session['state'] != 'init':
        raise Failed('Invalid state')
    types = option(options, 'types', int, None)
    if types is not None and int(types) & ~ALL_DEVICES:
        raise InvalidArgument('Unsupported device type: %x' % (int(types) & ~ALL_DEVICES))
    persist_mode = int(option(options, 'persist_mode', int, 0))
    if not 0 <= persist_mode <= 2:
        raise InvalidArgument('Invalid persist mode %d' % persist_mode)
    restore_token = str(option(options, 'restore_token', str, ''))
    request = new_request(self, sender, options)
    self.last_restore_token = restore_token
    self.last_persist_mode = persist_mode
    session['selected'] = None if types is None else int(types)
    session['devices_selected'] = True
    # A version 1 portal knows neither option and ignores them.
    if self.rd_version >= 2:
        session['persist_mode'] = persist_mode
        session['restore_token'] = restore_token
    respond(request, 0, {})
    return dbus.ObjectPath(request)


@dbus.service.method(REMOTE_DESKTOP_IFACE, in_signature='osa{sv}', out_signature='o', sender_keyword='sender',
                     async_callbacks=('reply', 'error'))
def Start(self, session_handle, parent_window, options, sender=None, reply=None, error=None):
    answer(self, reply, error, start, session_handle, parent_window, options, sender)


def start(self, session_handle, parent_window, options, sender):
    path = str(session_handle)
    session = owned_session(self, path, sender)
    if session['state'] != 'init':
        raise Failed('Invalid state')
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


def held_notify(mock, reply, error, *call):
    '''xdg-desktop-portal hands each call to its back-end on its own, so calls that overlap reach
    the desktop in any order: here, those that arrive within a few milliseconds go newest first.'''
    if not mock.held_keys:
        GLib.timeout_add(3, forward_held_keys, mock)
    mock.held_keys.append((reply, error, call))


def forward_held_keys(mock):
    held, mock.held_keys = mock.held_keys, []
    for reply, error, call in reversed(held):
        answer(mock, reply, error, checked_notify, *call)
    return False


@dbus.service.method(REMOTE_DESKTOP_IFACE, in_signature='oa{sv}iu', out_signature='', sender_keyword='sender',
                     async_callbacks=('reply', 'error'))
def NotifyKeyboardKeycode(self, session_handle, options, keycode, state, sender=None, reply=None, error=None):
    held_notify(self, reply, error, session_handle, sender, 'keycode', keycode, state)


@dbus.service.method(REMOTE_DESKTOP_IFACE, in_signature='oa{sv}iu', out_signature='', sender_keyword='sender',
                     async_callbacks=('reply', 'error'))
def NotifyKeyboardKeysym(self, session_handle, options, keysym, state, sender=None, reply=None, error=None):
    held_notify(self, reply, error, session_handle, sender, 'keysym', keysym, state)


# --- methods of the request and session objects --------------------------------------------

def main_object():
    return mockobject.objects[MAIN_OBJ]


def close_request(self):
    '''The client withdraws its request: an open dialog goes, and its session with it.'''
    mock = main_object()
    dialog = next((d for d in mock.pending if d['request'] == self.path), None)
    if dialog is not None:
        end_session(mock, dialog['session'], notify=True)
    elif self.path in mockobject.objects:
        self.remove_from_connection()
        del mockobject.objects[self.path]


def close_session(self):
    mock = main_object()
    if mock.sessions.get(self.path, {}).get('state', 'closed') == 'closed':
        return
    mock.closed_by_client += 1
    end_session(mock, self.path, notify=False)


# --- org.freedesktop.portal.Mock ------------------------------------------------------------

@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def SetColorScheme(self, scheme):
    self.color_scheme = dbus.UInt32(scheme)
    self.EmitSignal(MAIN_IFACE, 'SettingChanged', 'ssv',
                    [APPEARANCE, COLOR_SCHEME, dbus.UInt32(scheme, variant_level=1)])


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetConsent(self, mode):
    if mode not in CONSENT_MODES:
        raise InvalidArgument('Unknown consent mode %s' % mode)
    self.consent = str(mode)


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def Answer(self, response):
    if not self.pending:
        raise NotFound('No dialog is open')
    if response > 2:
        raise InvalidArgument('Response is 0, 1 or 2')
    dialog = self.pending.pop(0)
    finish(self, dialog['session'], dialog['request'], int(response), dialog['sender'])


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def CloseSession(self):
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


LastRestoreToken = query('LastRestoreToken', 's', lambda mock: mock.last_restore_token)
LastPersistMode = query('LastPersistMode', 'u', lambda mock: dbus.UInt32(mock.last_persist_mode))
Dialogs = query('Dialogs', 'u', lambda mock: dbus.UInt32(mock.dialogs))
ClosedByClient = query('ClosedByClient', 'u', lambda mock: dbus.UInt32(mock.closed_by_client))
UnansweredCalls = query('UnansweredCalls', 'u', lambda mock: dbus.UInt32(mock.unanswered))
Sessions = query('Sessions', 'u', lambda mock: dbus.UInt32(mock.sessions_created))
