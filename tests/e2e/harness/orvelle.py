"""Runs the real ORVELLE.exe under Wine for end-to-end tests.

    from harness.ids import Res, TextNo
    from harness.orvelle import OrvelleTestCase, run

    class Startup(OrvelleTestCase):
        def test_no_settings_file(self):
            app = self.app()                      # fresh folder: exe + ORVELLE.lng
            app.start()                           # main dialog up, no message box
            self.assertTrue(app.checked(Res.IDC_FOLDER_MODE))
            app.close()                           # Esc, Yes at the question, process ends
            self.assertEqual(app.ini_keys(), ['Folder', 'File', 'ComPort', 'Mode'])

    if __name__ == '__main__':
        run()

One WineSession per test file: the prefix ($WINEPREFIX, started and stopped
by scripts/wine-prefix), and for tests with windows an X display and one
uidriver serve process that keeps the wineserver alive between tests. Each
app gets a folder of its own under the build folder; a still-running program
is killed when its test ends, and the wineserver is ended when the file ends.
Every test file's test cases derive from WineTestCase (programs of their
own, e.g. the link tests) or OrvelleTestCase (ORVELLE.exe).

The display is a private Xvfb unless ORVELLE_E2E_DISPLAY names one (to watch
the tests). Not $DISPLAY: ctest runs other Windows tests in parallel on it,
and another wineserver taking the X input focus would take the foreground
window from the program under test, which its synthesised keys depend on.
Xvfb, the driver and the programs end with the test process, even when
ctest kills it on a time-out.
"""

import atexit
import ctypes
import csv
import io
import os
import select
import signal
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from . import SOURCE_DIR
from .ids import TextNo
from .radiosim import Radiosim
from .wineenv import wine_env
from .ui import Driver, DriverError, IDOK, IDYES, IDNO, IDCANCEL, VK_ESCAPE, SC_CLOSE  # noqa: F401

SCRIPTS_DIR = os.path.join(SOURCE_DIR, 'scripts')


def build_dir():
    d = os.environ.get('ORVELLE_BUILD_DIR')
    if not d:
        raise unittest.SkipTest('ORVELLE_BUILD_DIR is not set (run through ctest)')
    return os.path.abspath(d)


def exe_path():
    return os.environ.get('ORVELLE_EXE') or os.path.join(build_dir(), 'app', 'ORVELLE.exe')


def driver_path():
    return os.environ.get('ORVELLE_UIDRIVER') or os.path.join(build_dir(), 'tools', 'uidriver', 'uidriver.exe')


def artifacts_dir():
    d = os.environ.get('ORVELLE_ARTIFACTS_DIR') or os.path.join(build_dir(), 'artifacts')
    os.makedirs(d, exist_ok=True)
    return d


def wine_prefix(verb, prefix):
    """scripts/wine-prefix: ready, start, stop or remove the prefix (and its wineserver)."""
    subprocess.run([os.path.join(SCRIPTS_DIR, 'wine-prefix'), verb, prefix], check=True, timeout=300)


def wine_run():
    """scripts/wine-run: a Windows program under Wine in $WINEPREFIX."""
    return os.path.join(SCRIPTS_DIR, 'wine-run')


def windows_path(path):
    """The Wine path of a Linux path (drive Z: is the Linux root)."""
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


# -- the language file ---------------------------------------------------------

# Key number of each language text, by text number.
TEXT_KEYS = ([10000001, 10000101, 10000102, 10000103] + list(range(10000201, 10000206)) +
             list(range(10001001, 10001007)) + list(range(10002001, 10002008)) +
             list(range(10003001, 10003004)) + [10003101, 10003201, 10003301] +
             list(range(10005001, 10005005)) + [10005101, 10005102] +
             list(range(10010001, 10010010)) + list(range(10020001, 10020006)))
assert len(TEXT_KEYS) == TextNo.kCount
# Texts added since, by text number: a file may lack them (the program then
# shows its built-in English text).
ADDED_TEXT_KEYS = {TextNo.kMorePortsLabel: 10005103, TextNo.kVerifyFailed: 10020006,
                   TextNo.kPreviewItem: 10003202, TextNo.kPreviewCaption: 10030001,
                   TextNo.kPreviewModel: 10030002, TextNo.kPreviewBytesNow: 10030003,
                   TextNo.kPreviewBytesAfter: 10030004, TextNo.kPreviewFiles: 10030005,
                   TextNo.kPreviewUnchanged: 10030006, TextNo.kPreviewNothingWritten: 10030007,
                   TextNo.kWriteWithoutHistory: 10030008,
                   TextNo.kFileErrorNone: 10040001,
                   TextNo.kFileErrorGeneric: 10040002,
                   TextNo.kFileErrorNotFound: 10040003,
                   TextNo.kFileErrorBadPath: 10040004,
                   TextNo.kFileErrorTooManyOpen: 10040005,
                   TextNo.kFileErrorAccessDenied: 10040006,
                   TextNo.kFileErrorInvalidFile: 10040007,
                   TextNo.kFileErrorRemoveCurrentDir: 10040008,
                   TextNo.kFileErrorDirectoryFull: 10040009,
                   TextNo.kFileErrorBadSeek: 10040010,
                   TextNo.kFileErrorHardIO: 10040011,
                   TextNo.kFileErrorSharingViolation: 10040012,
                   TextNo.kFileErrorLockViolation: 10040013,
                   TextNo.kFileErrorDiskFull: 10040014,
                   TextNo.kFileErrorEndOfFile: 10040015,
                   TextNo.kFileUnnamed: 10040016,
                   TextNo.kOptionFileFilter: 10040017,
                   TextNo.kCliRetrying: 10040018,
                   TextNo.kCliNoRetriesLeft: 10040019,
                   TextNo.kCliWarning: 10040020,
                   TextNo.kCliRestoreRefused: 10040021,
                   TextNo.kCliNoHistoryAnswer: 10040022,
                   TextNo.kCliInterruptedCancelled: 10040023,
                   TextNo.kCliInterruptedAfter: 10040024,
                   TextNo.kCliInterruptedNothingWritten: 10040025,
                   TextNo.kCliHistoryNotKept: 10040026,
                   TextNo.kCliPortNotOpened: 10040027,
                   TextNo.kCliPortInUse: 10040028,
                   TextNo.kCliPortNotPresent: 10040029,
                   TextNo.kCliRestoreOtherModel: 10040030,
                   TextNo.kCliRestoreBlank: 10040031,
                   TextNo.kBatchItem: 10070001,
                   TextNo.kBatchCaption: 10070002,
                   TextNo.kBatchStop: 10070003,
                   TextNo.kBatchSaveReport: 10070004,
                   TextNo.kBatchClose: 10070005,
                   TextNo.kBatchColumnNumber: 10070006,
                   TextNo.kBatchColumnModel: 10070007,
                   TextNo.kBatchColumnIdentity: 10070008,
                   TextNo.kBatchColumnBefore: 10070009,
                   TextNo.kBatchColumnAfter: 10070010,
                   TextNo.kBatchColumnOutcome: 10070011,
                   TextNo.kBatchWaiting: 10070012,
                   TextNo.kBatchUpgrading: 10070013,
                   TextNo.kBatchRemoveRadio: 10070014,
                   TextNo.kBatchPortMissing: 10070015,
                   TextNo.kBatchStopped: 10070016,
                   TextNo.kBatchWritten: 10070017,
                   TextNo.kBatchUnchanged: 10070018,
                   TextNo.kBatchFailed: 10070019,
                   TextNo.kBatchRefused: 10070020,
                   TextNo.kBatchSkippedAsDone: 10070021,
                   TextNo.kBatchStoppedRadio: 10070022,
                   TextNo.kBatchReportFilter: 10070023,
                   TextNo.kBatchReportNotSaved: 10070024,
                   TextNo.kPortMoved: 10080001,
                   TextNo.kCliPortMoved: 10080002,
                   TextNo.kCliBatchRow: 10060001,
                   TextNo.kCliBatchVerified: 10060002,
                   TextNo.kCliBatchSummary: 10060003,
                   TextNo.kCliBatchWaiting: 10060004,
                   TextNo.kCliBatchPortMissing: 10060005,
                   TextNo.kCliBatchUpgrading: 10060006,
                   TextNo.kCliBatchRemove: 10060007,
                   TextNo.kCliBatchReportFailed: 10060008,
                   TextNo.kPortDeviceProblem: 10080003,
                   TextNo.kPortDeviceProblemAdvice: 10080004,
                   TextNo.kPortRefusedChip: 10080005,
                   TextNo.kPortRefusedChipAdvice: 10080006,
                   TextNo.kCliError: 10094001,
                   TextNo.kCliLinkFailed: 10094002,
                   TextNo.kCliPortCannotOpen: 10094003,
                   TextNo.kCliHistoryCannotKeep: 10094004,
                   TextNo.kCliRestored: 10094005,
                   TextNo.kCliRestoredUnchanged: 10094006,
                   TextNo.kCliPortUsable: 10094007,
                   TextNo.kCliPortNotRs232: 10094008,
                   TextNo.kCliPortCannotBeOpened: 10094009,
                   TextNo.kSupportFileItem: 10090001,
                   TextNo.kSupportFileSaved: 10090002,
                   TextNo.kSupportFileNotSaved: 10090003,
                   TextNo.kCliUsageNoCommand: 10095001,
                   TextNo.kCliUsageUnknownCommand: 10095002,
                   TextNo.kCliUsageUnknownCommandMeant: 10095003,
                   TextNo.kCliUsageHelpOnUnknown: 10095004,
                   TextNo.kCliUsageHelpOnUnknownMeant: 10095005,
                   TextNo.kCliUsageHelpOneCommand: 10095006,
                   TextNo.kCliUsageStandsAloneWith: 10095007,
                   TextNo.kCliUsageStandsAlone: 10095008,
                   TextNo.kCliUsageUnexpected: 10095009,
                   TextNo.kCliUsageUnknownOption: 10095010,
                   TextNo.kCliUsageUnknownOptionMeant: 10095011,
                   TextNo.kCliUsageNotOptionOf: 10095012,
                   TextNo.kCliUsageGivenTwice: 10095013,
                   TextNo.kCliUsageTakesNoValue: 10095014,
                   TextNo.kCliUsageNeedsValue: 10095015,
                   TextNo.kCliUsageNeeds: 10095016,
                   TextNo.kCliUsageNeedsEither: 10095017,
                   TextNo.kCliUsageNeedsNotBoth: 10095018,
                   TextNo.kCliUsageDryRunNotWith: 10095019,
                   TextNo.kCliUsageEachNotWith: 10095020,
                   TextNo.kCliUsageBadPort: 10095021,
                   TextNo.kCliUsageBadRetries: 10095022,
                   TextNo.kCliUsageBadEntry: 10095023,
                   TextNo.kCliUsageBadLast: 10095024,
                   TextNo.kCliUsageBadCount: 10095025,
                   TextNo.kCliUsageRecordNotHex: 10095026,
                   TextNo.kCliUsageRecordNotHexByte: 10095027,
                   TextNo.kCliUsageRecordPairs: 10095028,
                   TextNo.kCliUsageRecordLength: 10095029,
                   TextNo.kCliHistoryDamagedRow: 10095030,
                   TextNo.kCliHistoryNoRows: 10095031,
                   TextNo.kCliEntryNoHistory: 10095032,
                   TextNo.kCliEntryNoRow: 10095033,
                   TextNo.kCliEntryNoRecord: 10095034,
                   TextNo.kCliHelpUsage: 10096001,
                   TextNo.kCliHelpTopics: 10096002,
                   TextNo.kCliHelpExitCodes: 10096003,
                   TextNo.kCliExitDoneMeaning: 10096011,
                   TextNo.kCliExitRefusedMeaning: 10096012,
                   TextNo.kCliExitUsageMeaning: 10096013,
                   TextNo.kCliExitPortNotOpenedMeaning: 10096014,
                   TextNo.kCliExitLinkFailedMeaning: 10096015,
                   TextNo.kCliExitRefusedModelMeaning: 10096016,
                   TextNo.kCliExitNoOptionMeaning: 10096017,
                   TextNo.kCliExitVersionRequiredMeaning: 10096018,
                   TextNo.kCliExitOptionFileMissingMeaning: 10096019,
                   TextNo.kCliExitOtherTransceiverMeaning: 10096020,
                   TextNo.kCliExitLanguageFileMeaning: 10096021,
                   TextNo.kCliExitInterruptedMeaning: 10096022,
                   TextNo.kCliExitHistoryUnavailableMeaning: 10096023,
                   TextNo.kCliExitVerifyFailedMeaning: 10096024,
                   TextNo.kCliExitSomeFailedMeaning: 10096025}
assert len(ADDED_TEXT_KEYS) == TextNo.kAddedEnd - TextNo.kFirstAdded


def text_key(number):
    """The language file's key number of a text number."""
    return ADDED_TEXT_KEYS[number] if number in ADDED_TEXT_KEYS else TEXT_KEYS[number]


class LanguageFile:
    """The texts of one language column of an ORVELLE.lng, by text number;
    encoding: the code page the file is written in."""

    def __init__(self, path, language='English', encoding='cp1252'):
        with open(path, 'rb') as f:
            content = f.read().decode(encoding).replace('\r\n', '\n')
        rows = list(csv.reader(io.StringIO(content)))
        header = next((r for r in rows if r and r[0] == '*Language'), None)
        column = header.index(language) if header and language in header else 1
        by_key = {}
        for row in rows:
            if row and '^#' in row[0]:
                key = int(row[0].replace('^#', ''))
                text = row[column] if column < len(row) else ''
                by_key[key] = text.replace('\n', '\\n').replace(',', '\\a')
        self.texts = [self._unescape(by_key.get(k, '')) for k in TEXT_KEYS]
        self.added = {n: self._unescape(by_key.get(k, '')) for n, k in ADDED_TEXT_KEYS.items()}

    @staticmethod
    def _unescape(text):
        return text.replace('\\n', '\n').replace('\\t', '\t').replace('\\a', ',')

    def __getitem__(self, number):
        return self.added[number] if number in self.added else self.texts[number]


def language():
    return LanguageFile(os.path.join(SOURCE_DIR, 'res', 'ORVELLE.lng'))


def same_text(shown, expected):
    """Message-box and label texts compared with line breaks normalised."""
    return shown.replace('\r\n', '\n') == expected.replace('\r\n', '\n')


def _die_with_parent():
    """preexec_fn: the child gets SIGKILL when the test process ends."""
    try:
        ctypes.CDLL('libc.so.6', use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except OSError:
        pass


# -- one Wine session per test file -------------------------------------------

class WineSession:
    """display: an X display to use; None starts a private Xvfb when a
    program with windows is to be driven."""

    def __init__(self, display=None):
        self.prefix = os.environ.get('WINEPREFIX') or os.path.join(build_dir(), 'wineprefix-e2e')
        self.env = wine_env(self.prefix)
        self.env.pop('DISPLAY', None)
        if display:
            self.env['DISPLAY'] = display
        self.xvfb = None
        self.driver = None

    def start(self, need_program=True, windows=True):
        """need_program: ORVELLE.exe must be built (else the tests are
        skipped); windows: the display and the UI driver are started too."""
        if need_program and not os.path.exists(exe_path()):
            raise unittest.SkipTest('ORVELLE.exe not built: %s' % exe_path())
        # A fresh server: leftovers of an earlier run would hold windows and ports.
        wine_prefix('start', self.prefix)
        if windows:
            self.ensure_driver()
        return self

    def ensure_driver(self):
        """(Re)starts the driver, e.g. after one was killed for not answering."""
        if not self.env.get('DISPLAY'):
            self._start_xvfb()
        if self.driver is None or self.driver.proc is None or self.driver.proc.poll() is not None:
            self.driver = Driver(driver_path(), self.env, preexec_fn=_die_with_parent)
            self.driver.call('processes', timeout=60)  # wineserver up
        return self.driver

    def _start_xvfb(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_fd), '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=_die_with_parent)
        os.close(write_fd)
        number = b''
        limit = time.monotonic() + 10
        while not number.endswith(b'\n') and time.monotonic() < limit:
            if not select.select([read_fd], [], [], max(0.0, limit - time.monotonic()))[0]:
                break
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            raise RuntimeError('Xvfb did not start')
        self.env['DISPLAY'] = ':' + number.decode().strip()

    def stop(self):
        if self.driver:
            self.driver.close()
            self.driver = None
        try:
            wine_prefix('stop', self.prefix)
        except (subprocess.SubprocessError, OSError):
            pass
        if self.xvfb:
            self.xvfb.kill()
            self.xvfb.wait(timeout=5)
            self.xvfb = None

    def screenshot(self, name, rect=None):
        """Saves the screen, or the rectangle {x, y, width, height} of it, as
        $ORVELLE_ARTIFACTS_DIR/<name>.png; returns the path."""
        path = os.path.join(artifacts_dir(), name + '.png')
        cmd = ['import', '-display', self.env['DISPLAY'], '-window', 'root']
        if rect:
            cmd += ['-crop', '%dx%d+%d+%d' % (rect['width'], rect['height'], max(rect['x'], 0),
                                              max(rect['y'], 0)), '+repage']
        subprocess.run(cmd + [path], check=True, timeout=30)
        return path


_session = None


def session(need_program=True, windows=True):
    """The test file's WineSession, started on first use."""
    global _session
    if _session is None:
        s = WineSession(display=os.environ.get('ORVELLE_E2E_DISPLAY'))
        s.start(need_program, windows)  # may raise SkipTest; nothing is kept then
        _session = s
        atexit.register(stop_session)
    elif windows:
        _session.ensure_driver()
    return _session


def stop_session():
    global _session
    if _session is not None:
        _session.stop()
        _session = None


# -- one program in a folder of its own ---------------------------------------

class OrvelleApp:
    """ORVELLE.exe in a fresh folder with ORVELLE.lng and, if given, an
    ORVELLE.ini (text, bytes, or a dict of [INIT] keys in order)."""

    def __init__(self, session, ini=None, lng=None, work_root=None):
        self.session = session
        self.drv = session.ensure_driver()
        self.folder = os.path.abspath(tempfile.mkdtemp(prefix='orvelle-', dir=work_root))
        self.exe = os.path.join(self.folder, 'ORVELLE.exe')
        shutil.copy(exe_path(), self.exe)
        shutil.copy(lng or os.path.join(SOURCE_DIR, 'res', 'ORVELLE.lng'), os.path.join(self.folder, 'ORVELLE.lng'))
        self.ini_path = os.path.join(self.folder, 'ORVELLE.ini')
        self.wine_log = self.folder + '.wine.log'
        self.data_dir = os.path.join(self.folder, 'Data')
        if ini is not None:
            self.write_ini(ini)
        self.proc = None
        self.pid = None
        self.hwnd = None

    # -- files ----------------------------------------------------------------
    def write_ini(self, ini):
        if isinstance(ini, dict):
            ini = '[INIT]\r\n' + ''.join('%s=%s\r\n' % kv for kv in ini.items())
        if isinstance(ini, str):
            ini = ini.encode('cp1252')
        with open(self.ini_path, 'wb') as f:
            f.write(ini)

    def read_ini(self):
        """The settings file's bytes, or None when there is none."""
        try:
            with open(self.ini_path, 'rb') as f:
                return f.read()
        except FileNotFoundError:
            return None

    def ini_lines(self):
        data = self.read_ini()
        return [] if data is None else data.decode('cp1252', errors='replace').splitlines()

    def ini_values(self):
        """The [INIT] keys and values in file order, as a list of pairs."""
        pairs, section = [], None
        for line in self.ini_lines():
            s = line.strip()
            if s.startswith('[') and s.endswith(']'):
                section = s[1:-1]
            elif section == 'INIT' and '=' in s:
                key, value = s.split('=', 1)
                pairs.append((key.strip(), value.strip()))
        return pairs

    def ini_keys(self):
        return [k for k, _ in self.ini_values()]

    def ini(self, key):
        return dict(self.ini_values()).get(key)

    def windows_path(self, *parts):
        return windows_path(os.path.join(self.folder, *parts))

    # -- running --------------------------------------------------------------
    def launch(self, env=None, timeout=15.0):
        """Starts the program; returns once Windows knows its process id."""
        # What Wine itself says (a loader or server failure) goes to a log
        # beside the program's folder, so a failed start can say why.
        with open(self.wine_log, 'ab') as log:
            self.proc = subprocess.Popen(['wine', self.exe], cwd=self.folder, env=env or self.session.env,
                                         stdout=subprocess.DEVNULL, stderr=log, preexec_fn=_die_with_parent)
        target = windows_path(self.exe).lower()
        limit = time.monotonic() + timeout
        while self.pid is None:
            for p in self.drv.call('processes', name='ORVELLE.exe')['processes']:
                if p['path'].lower() == target:
                    self.pid = p['pid']
            if self.pid is None:
                if self.proc.poll() is not None or time.monotonic() > limit:
                    raise AssertionError('ORVELLE.exe did not start (exit %r)%s' % (self.proc.poll(),
                                                                                    self.wine_said()))
                time.sleep(0.02)
        return self

    def start(self, expect_box=False, env=None, timeout=15.0):
        """Starts the program. Without expect_box: waits for the main dialog
        and fails if a message box comes first. With expect_box: waits for
        the first message box and returns it, still showing."""
        self.launch(env=env, timeout=timeout)
        limit = time.monotonic() + timeout
        while True:
            boxes = self.drv.message_boxes(self.pid)
            if boxes:
                if expect_box:
                    return boxes[0]
                raise AssertionError('unexpected message box at start: %r' % boxes[0].fields)
            main = self._find_main()
            if main and not expect_box:
                self.hwnd = main
                return self.info()
            if self.proc.poll() is not None:
                raise AssertionError('ORVELLE.exe ended at start with %r%s' % (self.proc.returncode,
                                                                                self.wine_said()))
            if time.monotonic() > limit:
                raise AssertionError('no %s within %.0f s' % ('message box' if expect_box else 'main dialog',
                                                             timeout))
            time.sleep(0.02)

    def start_past_warnings(self, env=None, timeout=15.0):
        """Starts the program, answers OK to every start-up message box and
        waits for the main dialog. Returns the boxes seen (caption, text)."""
        seen = []
        box = None
        self.launch(env=env, timeout=timeout)
        limit = time.monotonic() + timeout
        while True:
            boxes = self.drv.message_boxes(self.pid)
            if boxes:
                box = boxes[0]
                seen.append((box.caption, box.text))
                self.drv.press(box, IDOK)
                continue
            main = self._find_main()
            if main and self.drv.info(main).visible:
                self.hwnd = main
                return seen
            if self.proc.poll() is not None:
                raise AssertionError('ORVELLE.exe ended at start with %r%s' % (self.proc.returncode,
                                                                                self.wine_said()))
            if time.monotonic() > limit:
                raise AssertionError('no main dialog within %.0f s' % timeout)
            time.sleep(0.02)

    def _find_main(self):
        boxes = {b.hwnd for b in self.drv.windows(pid=self.pid, cls='#32770', message_box=True)}
        for w in self.drv.windows(pid=self.pid, cls='#32770'):
            if w.owner == 0 and w.hwnd not in boxes:
                return w.hwnd
        return None

    def wait_main(self, timeout=10.0):
        """After a start-up message box: waits for the main dialog."""
        self.hwnd = self.drv.wait_until(self._find_main, timeout=timeout, what='the main dialog')
        return self.info()

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=10.0):
        """The program's exit code once it has ended."""
        return self.proc.wait(timeout=timeout)

    def kill(self):
        if self.running():
            try:
                if self.pid is not None:
                    self.drv.kill(self.pid)
            except DriverError:
                pass
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=5)

    def cleanup(self, keep_folder=False):
        self.kill()
        if not keep_folder and not os.environ.get('ORVELLE_E2E_KEEP'):
            shutil.rmtree(self.folder, ignore_errors=True)
            if self.wine_log and os.path.exists(self.wine_log):
                os.remove(self.wine_log)

    def wine_said(self):
        """For a failure message: the end of what Wine wrote on stderr."""
        if not self.wine_log:
            return ''
        try:
            with open(self.wine_log, 'rb') as f:
                said = f.read()[-2000:].decode('utf-8', 'replace').strip()
        except OSError:
            return ''
        return ('; Wine said:\n' + said) if said else '; Wine said nothing'

    # -- the main dialog ------------------------------------------------------
    def info(self):
        return self.drv.info(self.hwnd)

    def text(self, control_id=None):
        return self.drv.text(self.hwnd, control_id)

    def caption(self):
        return self.drv.text(self.hwnd)

    def checked(self, control_id):
        return self.drv.checked(self.hwnd, control_id)

    def enabled(self, control_id=None):
        return self.drv.enabled(self.hwnd, control_id)

    def focus_id(self):
        return self.drv.focus_id(self.hwnd)

    def menu(self):
        return self.drv.menu(self.hwnd)

    def message_box(self, timeout_ms=5000):
        """The next message box the program shows (still showing)."""
        return self.drv.wait_message_box(self.pid, timeout_ms=timeout_ms)

    def wait_dialog(self, caption=None, timeout=5.0):
        """A dialog the program opened besides its main dialog and its
        message boxes (COM port dialog, About box), described with its
        children."""
        def find():
            boxes = {b.hwnd for b in self.drv.windows(pid=self.pid, cls='#32770', message_box=True)}
            for w in self.drv.windows(pid=self.pid, cls='#32770'):
                if w.hwnd not in boxes and w.hwnd != self.hwnd and caption in (None, w.caption):
                    return w
            return None
        found = self.drv.wait_until(find, timeout=timeout, what='a dialog %r' % (caption or ''))
        return self.drv.info(found.hwnd)

    def other_window(self):
        """A visible window of the program besides its main dialog and its
        message boxes (the Browse dialog, say), or None."""
        boxes = {b.hwnd for b in self.drv.windows(pid=self.pid, cls='#32770', message_box=True)}
        for w in self.drv.windows(pid=self.pid):
            if w.hwnd != self.hwnd and w.hwnd not in boxes and w.visible:
                return w.hwnd
        return None

    def no_message_box(self):
        return not self.drv.message_boxes(self.pid)

    def settled_no_message_box(self):
        """No message box once the program has handled every message posted
        to it so far: a box one of them opens exists by then, though a dialog
        box may show itself only when its own loop first goes idle, so hidden
        ones count too."""
        self.drv.sync(self.hwnd)
        return not self.drv.windows(pid=self.pid, cls='#32770', message_box=True, hidden=True)

    def request_close(self, way='esc'):
        """Asks the dialog to close (esc: the Esc key; close: the close box;
        exit: File > Exit as the menu leaves it, IDCANCEL); returns the close
        question's message box."""
        if way == 'esc':
            self.drv.key(self.hwnd, VK_ESCAPE)
        elif way == 'close':
            self.drv.sys_command(self.hwnd, SC_CLOSE)
        elif way == 'exit':
            self.drv.command(self.hwnd, IDCANCEL)
        else:
            raise ValueError(way)
        return self.message_box()

    def close(self, way='esc', timeout=10.0):
        """Closes the program as a user would: Yes at the close question.
        Returns its exit code."""
        box = self.request_close(way)
        self.drv.click(box.hwnd, IDYES)
        return self.wait_exit(timeout)

    def screenshot(self, name):
        """Saves a picture of the main dialog in the artifacts folder."""
        return self.session.screenshot(name, self.info().rect)


class WineTestCase(unittest.TestCase):
    """Base class of every end-to-end test case: the file's WineSession
    (self.session; self.drv its UI driver when WINDOWS), a work folder
    (self.work_root), the development texts (self.lng) and simulated
    transceivers (self.radiosim)."""

    NEEDS_PROGRAM = True  # ORVELLE.exe must be built
    WINDOWS = True        # an X display and the UI driver

    @classmethod
    def setUpClass(cls):
        cls.session = session(need_program=cls.NEEDS_PROGRAM, windows=cls.WINDOWS)
        cls.drv = cls.session.driver
        cls.lng = language()
        cls.work_root = os.path.join(build_dir(), 'e2e-work')
        os.makedirs(cls.work_root, exist_ok=True)

    def _problems(self):
        result = getattr(getattr(self, '_outcome', None), 'result', None)
        return len(result.failures) + len(result.errors) if result is not None else 0

    def setUp(self):
        self._problems_before = self._problems()
        if self.WINDOWS:  # a driver killed for not answering is replaced
            self.drv = self.session.ensure_driver()

    def failed(self):
        """In tearDown: this test has failed."""
        return self._problems() > self._problems_before

    def radiosim(self, port, workdir=None, **settings):
        """A simulated transceiver on COM<port> of the session's prefix,
        started, and stopped when the test ends; settings are radiosim's."""
        radio = Radiosim(port=port, prefix=self.session.prefix,
                         workdir=workdir or tempfile.mkdtemp(prefix='radiosim-', dir=self.work_root), **settings)
        radio.start()
        self.addCleanup(radio.stop)
        return radio

    def tearDown(self):
        # A failed test leaves a picture of the screen as it was (the
        # programs are still running: cleanups come after tearDown).
        if self.WINDOWS and self.failed():
            try:
                print('screen: %s' % self.session.screenshot('failed-' + self.id().split('.', 1)[-1]))
            except (subprocess.SubprocessError, OSError):
                pass


class OrvelleTestCase(WineTestCase):
    """Base class of the tests of ORVELLE.exe: self.app(...) makes an
    OrvelleApp that is cleaned up when the test ends."""

    def app(self, **kwargs):
        self.drv = self.session.ensure_driver()
        a = OrvelleApp(self.session, work_root=self.work_root, **kwargs)
        self.addCleanup(a.cleanup)
        return a


def run():
    """unittest.main() for one test file, with the session stopped at the end."""
    try:
        program = unittest.main(verbosity=2, exit=False)
    finally:
        stop_session()
    sys.exit(0 if program.result.wasSuccessful() else 1)
