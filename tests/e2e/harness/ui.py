"""Python side of tools/uidriver: one `uidriver.exe serve` process per test
file, spoken to over a pipe, one JSON line per command.

    drv = Driver(driver_exe, env)
    pid = drv.start(r'C:\\x\\ORVELLE.exe', cwd=r'C:\\x')
    dlg = drv.wait_window(pid=pid, cls='#32770')
    drv.text(dlg.hwnd, Res.IDC_PATH_EDIT)

Every call has a time-out; a driver that stops answering is killed and the
call raises DriverError, so a hung program never hangs the test run.
"""

import json
import os
import select
import subprocess
import time
import urllib.parse

# Control ids of every standard message box.
IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7
VK_BACK, VK_TAB, VK_RETURN, VK_ESCAPE, VK_DELETE, VK_F1 = 0x08, 0x09, 0x0D, 0x1B, 0x2E, 0x70
VK_CONTROL, VK_SHIFT, VK_INSERT, VK_END, VK_HOME = 0x11, 0x10, 0x2D, 0x23, 0x24
SC_CLOSE = 0xF060


class DriverError(Exception):
    pass


class Window:
    """A top-level window as the driver described it (fields of its JSON)."""

    def __init__(self, fields):
        self.fields = fields
        self.hwnd = fields['hwnd']

    def __getattr__(self, name):
        try:
            return self.fields[name]
        except KeyError:
            raise AttributeError(name) from None

    def child(self, control_id):
        for c in self.fields.get('children', []):
            if c['id'] == control_id:
                return c
        raise KeyError('no control %d' % control_id)

    def __repr__(self):
        return 'Window(%r)' % self.fields


def _encode(value):
    if isinstance(value, bool):
        value = 1 if value else 0
    # Every byte but unreserved ASCII is escaped, "-" included, so a value
    # never looks like a --key to the driver.
    return urllib.parse.quote(str(value), safe='._~').replace('-', '%2D')


class Driver:
    def __init__(self, driver_exe, env, wine='wine', answer_timeout=20.0, preexec_fn=None):
        self.driver_exe = driver_exe
        self.env = env
        self.answer_timeout = answer_timeout
        self.proc = subprocess.Popen(
            [wine, driver_exe, 'serve'], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, env=env, bufsize=0, preexec_fn=preexec_fn)
        self._buf = b''

    # -- the pipe ---------------------------------------------------------
    def call(self, command, timeout=None, **kwargs):
        """Runs one command; returns its answer dict or raises DriverError."""
        if self.proc is None or self.proc.poll() is not None:
            raise DriverError('the driver is not running')
        parts = [_encode(command)]
        for key, value in kwargs.items():
            if value is None or value is False:
                continue
            parts.append('--' + key.replace('_', '-'))
            if value is not True:
                parts.append(_encode(value))
        self.proc.stdin.write((' '.join(parts) + '\n').encode('ascii'))
        self.proc.stdin.flush()
        limit = time.monotonic() + (timeout if timeout is not None else self.answer_timeout)
        while b'\n' not in self._buf:
            left = limit - time.monotonic()
            if left <= 0:
                self.close(kill=True)
                raise DriverError('driver gave no answer to %s' % command)
            ready, _, _ = select.select([self.proc.stdout], [], [], left)
            if ready:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    raise DriverError('driver ended during %s' % command)
                self._buf += chunk
        line, self._buf = self._buf.split(b'\n', 1)
        answer = json.loads(line.decode('ascii'))
        if not answer.get('ok'):
            raise DriverError('%s: %s' % (command, answer.get('error')))
        return answer

    def close(self, kill=False):
        if self.proc is None:
            return
        try:
            if not kill and self.proc.poll() is None:
                self.proc.stdin.write(b'quit\n')
                self.proc.stdin.flush()
                self.proc.wait(timeout=5)
        except (OSError, subprocess.TimeoutExpired):
            pass
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=5)
        self.proc = None

    # -- processes --------------------------------------------------------
    def start(self, exe, cwd=None, args=None):
        return self.call('start', exe=exe, cwd=cwd, args=args)['pid']

    def wait_exit(self, pid, timeout_ms=5000):
        """The exit code, or None if the process still runs."""
        a = self.call('wait-exit', pid=pid, timeout_ms=timeout_ms, timeout=timeout_ms / 1000 + 10)
        return a['code'] if a['exited'] else None

    def kill(self, pid):
        return self.call('kill', pid=pid)['killed']

    # -- finding windows --------------------------------------------------
    def windows(self, pid=None, cls=None, hidden=False, children=False, message_box=False):
        a = self.call('windows', pid=pid, **{'class': cls}, hidden=hidden, children=children,
                      message_box=message_box)
        return [Window(w) for w in a['windows']]

    def wait_window(self, pid=None, cls=None, caption=None, caption_prefix=None, owner=None, exclude=(),
                    message_box=False, timeout_ms=5000):
        a = self.call('wait-window', pid=pid, **{'class': cls}, caption=caption, caption_prefix=caption_prefix,
                      owner=owner, exclude=','.join(str(h) for h in exclude) or None,
                      message_box=message_box, timeout_ms=timeout_ms, timeout=timeout_ms / 1000 + 10)
        return Window(a['window'])

    def wait_no_window(self, pid=None, cls=None, owner=None, message_box=False, timeout_ms=5000):
        self.call('wait-window', pid=pid, **{'class': cls}, owner=owner, message_box=message_box, gone=True,
                  timeout_ms=timeout_ms, timeout=timeout_ms / 1000 + 10)

    def wait_message_box(self, pid, owner=None, timeout_ms=5000):
        """The next message box of the process: caption, text, buttons."""
        return self.wait_window(pid=pid, cls='#32770', owner=owner, message_box=True, timeout_ms=timeout_ms)

    def message_boxes(self, pid):
        """Every message box the process shows now."""
        return [Window(self.call('message-box', hwnd=w.hwnd)['window'])
                for w in self.windows(pid=pid, cls='#32770', message_box=True)]

    def wait_gone(self, hwnd, timeout_ms=5000):
        self.call('wait-gone', hwnd=hwnd, timeout_ms=timeout_ms, timeout=timeout_ms / 1000 + 10)

    def info(self, hwnd):
        return Window(self.call('info', hwnd=hwnd)['window'])

    # -- reading ----------------------------------------------------------
    def text(self, hwnd, control_id=None):
        return self.call('text', hwnd=hwnd, id=control_id)['text']

    def state(self, hwnd, control_id=None):
        return self.call('state', hwnd=hwnd, id=control_id)

    def checked(self, hwnd, control_id):
        return self.state(hwnd, control_id).get('checked')

    def enabled(self, hwnd, control_id=None):
        return self.state(hwnd, control_id)['enabled']

    def focused(self, hwnd):
        return self.call('focused', hwnd=hwnd)

    def focus_id(self, hwnd):
        """Control id of the dialog's focused control (-1: none of its own)."""
        return self.focused(hwnd)['focus_id']

    def tree_selection(self, hwnd, control_id=None):
        """The texts of a tree view's selected item and its parents, root
        first ([] when nothing is selected)."""
        return self.call('tree-selection', hwnd=hwnd, id=control_id)['selected']

    def combo_items(self, hwnd, control_id=None):
        """(items, selected index or -1) of a combo box."""
        answer = self.call('combo-items', hwnd=hwnd, id=control_id)
        return answer['items'], answer['selected']

    def list_items(self, hwnd, control_id=None):
        """(headings, rows) of a report-view list: each row its cells in
        column order."""
        answer = self.call('list-items', hwnd=hwnd, id=control_id)
        return answer['headings'], answer['rows']

    def menu(self, hwnd):
        """The window's menu bar and system menu, read from inside the
        program by the driver's hook library: {'bar': [...], 'system': [...]}."""
        return self.call('menu', hwnd=hwnd)['menu']

    # -- acting -----------------------------------------------------------
    def set_text(self, hwnd, text, control_id=None):
        self.call('set-text', hwnd=hwnd, id=control_id, text=text)

    def select(self, hwnd, control_id=None, start=0, end=-1):
        """Selects characters start..end of an edit (end -1: to the end)."""
        self.call('select', hwnd=hwnd, id=control_id, start=start, end=end)

    def click(self, hwnd, control_id=None, mouse=False, right=False):
        """BM_CLICK (posted) on a button; mouse=True posts a left click at its
        centre instead (any control), right=True a right click."""
        self.call('click', hwnd=hwnd, id=control_id, mouse=mouse, right=right)

    def command(self, hwnd, command_id):
        """A menu or accelerator command (WM_COMMAND, posted)."""
        self.call('command', hwnd=hwnd, id=command_id)

    def sys_command(self, hwnd, sc):
        self.call('sys-command', hwnd=hwnd, sc=sc)

    def close_window(self, hwnd):
        self.call('close', hwnd=hwnd)

    def chars(self, hwnd, control_id=None, text=None, codes=None, post=False):
        """WM_CHAR per character (text) or per ANSI byte (codes); sent, so
        they are handled when this returns, unless post=True."""
        self.call('chars', hwnd=hwnd, id=control_id, text=text,
                  codes=','.join(str(c) for c in codes) if codes is not None else None, post=post)

    def key(self, hwnd, vk, control_id=None):
        """A key press and release posted to a window (through the program's
        message loop, like the keyboard)."""
        self.call('key', hwnd=hwnd, id=control_id, vk=vk)

    def input_keys(self, *vks, hwnd=None):
        """Real keyboard input (SendInput) to the foreground window; several
        keys make a chord (pressed in order, released in reverse)."""
        self.call('input', hwnd=hwnd, vk=','.join(str(v) for v in vks))

    def activate(self, hwnd):
        return self.call('activate', hwnd=hwnd)['foreground']

    def focus(self, hwnd, control_id=None):
        return self.call('focus', hwnd=hwnd, id=control_id)['how']

    def clipboard(self, text=None):
        return self.call('clipboard', text=text).get('text')

    # -- waiting ----------------------------------------------------------
    def sync(self, hwnd, input=False, timeout_ms=5000):
        """Returns once the thread of hwnd has taken every message posted to
        it before (input=True: every input sent before): a barrier in the
        program's queue, for checks that something did not happen."""
        self.call('sync', hwnd=hwnd, input=input, timeout_ms=timeout_ms, timeout=timeout_ms / 1000 + 10)

    def wait_until(self, predicate, timeout=5.0, what='condition'):
        limit = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() > limit:
                raise DriverError('timed out waiting for %s' % what)
            time.sleep(0.02)

    def press(self, box, button_id):
        """Presses a message box's button and waits until the box is gone."""
        hwnd = box.hwnd if isinstance(box, Window) else box
        self.click(hwnd, button_id)
        self.wait_gone(hwnd)
