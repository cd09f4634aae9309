"""End-to-end tests of orvelle-cli.exe and of the upgrade history: the console
tool under Wine against radiosim on COM1, and ORVELLE.exe driven through its
window for the history it keeps. One table of cases for the single commands
(identify, upgrade with every exit code), the bad-argument table, and the
runs that take several steps (restore, a hang-up during the write), and
upgrade --each against radiosim playing radios one after another.

Every orvelle-cli run gets a fresh folder with the program and ORVELLE.lng,
so its History folder is its own. A case checks the exit code, the --json
object, what was printed on stderr, the history rows appended and what the
radio heard and keeps.
"""

import csv
import io
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.orvelle import (LanguageFile, OrvelleTestCase, SOURCE_DIR, build_dir, run,  # noqa: E402
                             same_text, windows_path)
from harness.ids import Res, TextNo  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.sample import CODE, MODEL, OPTIONS, PORT, RECORD, VERSION, enh, make_files, merged  # noqa: E402
from harness.supportfile import SUPPORT_PARTS, support_parts  # noqa: E402
from harness.ui import IDNO, IDOK, IDYES  # noqa: E402

IDENTITY_REST = 'SN00012345'
# A programming cable on a port above COM20, as Windows often numbers them.
HIGH_PORT = 23

HEADER = 'time,program,port,model,identity,version,record_before,record_after,sources,outcome'
WRITE_FRAME = b'UW\xcb'

# Text numbers of the language file used below.
T_NO_OPTION_FILE_IN_FOLDER, T_NO_OPTION_FILE = TextNo.kNoOptionFileInFolder, TextNo.kNoOptionFile
T_WRITTEN, T_REFUSED = TextNo.kRecordWritten, TextNo.kRecordRefused
T_VERSION_REQUIRED, T_VERSION_NOTE = TextNo.kVersionRequired, TextNo.kVersionRecommended
# The console tool says these in its own words: nothing to click there.
T_PORT_NOT_OPENED, T_LINK_FAILED = TextNo.kCliPortCannotOpen, TextNo.kCliLinkFailed
T_REFUSED_MODEL, T_NO_OPTION = TextNo.kRefusedModel, TextNo.kNoOptionForTransceiver
T_VERIFY_FAILED = TextNo.kVerifyFailed

def one_line(text):
    """A message as the console tool prints it: its lines joined by spaces."""
    return re.sub(r' ?\r?\n', ' ', text)


# An option file whose mask changes no byte of the sample record.
CHANGES_NOTHING = enh(entries=(('00000102', 3, 'ffffffffffffffff'),))

# Bytes a new radio sends before it answers a write frame: SYN and ACK of the
# handshake, the identity (lead, 32 bytes, check) and its closing ACK, the
# version (10) and its ACK, the record (lead, 50) and its ACK.
BYTES_BEFORE_WRITE_ANSWER = 2 + (1 + 32 + 1 + 1) + (10 + 1) + (1 + 50 + 1)


def identity_of(model=MODEL, rest=IDENTITY_REST):
    return model.encode().ljust(12, b'\0') + rest.encode().ljust(20, b'\0')


def project_version():
    with open(os.path.join(SOURCE_DIR, 'CMakeLists.txt')) as f:
        return re.search(r'project\(Orvelle VERSION ([0-9.]+)', f.read()).group(1)


def cli_exe():
    return os.path.join(build_dir(), 'cli', 'orvelle-cli.exe')


def holdfile_exe():
    return os.path.join(build_dir(), 'tests', 'e2e', 'cli', 'holdfile.exe')


class HeldFile:
    """A file held open by another Windows program (read access, readers let
    in, writers not) until release() or max_ms; a test that releases it gives
    a max_ms beyond its run's, so a slow start cannot let it go early."""

    def __init__(self, session, path, max_ms):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.flag = path + '.release'
        self.proc = subprocess.Popen(['wine', holdfile_exe(), windows_path(path), str(max_ms),
                                      windows_path(self.flag)], env=session.env, stdout=subprocess.PIPE)
        line = self.proc.stdout.readline()
        assert line.strip() == b'held', line

    def release(self):
        """Returns once the file has been let go: how it let go ("on
        request", "at the time limit"), or None when it had already."""
        how = None
        if not self.proc.stdout.closed:
            if self.proc.poll() is None:
                open(self.flag, 'w').close()
            line = self.proc.stdout.readline().decode().strip()  # "released ...", or the end
            how = line[len('released '):] if line.startswith('released ') else line
        self.proc.wait(timeout=60)
        self.proc.stdout.close()
        if os.path.exists(self.flag):
            os.remove(self.flag)
        return how


def read_history(folder):
    """The data rows of <folder>/History/upgrades.csv as dicts (header
    checked); [] when there is no file."""
    path = os.path.join(folder, 'History', 'upgrades.csv')
    if not os.path.exists(path):
        return []
    with open(path, 'rb') as f:
        text = f.read().decode('cp1252')
    records = list(csv.reader(io.StringIO(text, newline='')))
    if not records:  # made empty by the program that held it
        return []
    assert ','.join(records[0]) == HEADER, records[0]
    return [dict(zip(HEADER.split(','), r)) for r in records[1:]]


class Result:
    def __init__(self, proc, json_wanted):
        self.rc = proc.returncode
        self.out = proc.stdout.decode('cp1252').replace('\r\n', '\n')
        self.err = proc.stderr.decode('cp1252').replace('\r\n', '\n')
        self.json = json.loads(self.out) if json_wanted and self.out.strip() else None

    def __repr__(self):
        return 'exit %r\nstdout: %s\nstderr: %s' % (self.rc, self.out, self.err)


class Cli:
    """orvelle-cli.exe in a fresh folder of its own with ORVELLE.lng."""

    def __init__(self, session, work_root, lng=True, lng_file='ORVELLE.lng'):
        self.session = session
        self.folder = tempfile.mkdtemp(prefix='cli-', dir=work_root)
        self.exe = os.path.join(self.folder, 'orvelle-cli.exe')
        shutil.copy(cli_exe(), self.exe)
        if lng:
            shutil.copy(os.path.join(SOURCE_DIR, 'res', lng_file), os.path.join(self.folder, 'ORVELLE.lng'))
        self.data = os.path.join(self.folder, 'Data')

    def run(self, args, radio=None, timeout=120):
        env = radio.wine_env(self.session.env) if radio else self.session.env
        proc = subprocess.run(['wine', self.exe] + list(args), cwd=self.folder, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout)
        return Result(proc, '--json' in args)

    def history(self):
        return read_history(self.folder)

    def cleanup(self):
        if not os.environ.get('ORVELLE_E2E_KEEP'):
            shutil.rmtree(self.folder, ignore_errors=True)


# The single-command cases. args: after the command, with {data} for the
# Windows path of the folder's Data; radio: radiosim settings over the
# defaults; files: option files made in Data. Expected: exit code, --json
# outcome, message (a text number, or a string the message holds), warnings
# (text numbers), history outcomes appended, the radio's record afterwards
# (unchanged when not given), untouched: the radio heard nothing at all;
# no_write: no write frame reached the radio; record_after: the record the
# result and the last history row name as written or to be written.
CASES = {
    'identify_new_38400': dict(
        command='identify', radio={'baud': 38400}, exit=0, outcome='identified', rows=['read'], identify=True),
    'identify_old_transceiver': dict(
        command='identify', radio={'kind': 'old'}, exit=0, outcome='identified', rows=['read'], identify=True),
    'identify_plain_output': dict(
        command='identify', json=False, exit=0, rows=['read'],
        stdout=['model: QX-5100', 'option_code: 00000102', 'option_type: 3',
                'option_bytes: 3fffffffffffffff', 'record_before: ' + RECORD.hex(), 'outcome: identified']),
    'upgrade_folder_no_option': dict(
        args=['--folder', '{data}'], files={'a.ENH': enh(model='QX-5200')}, exit=6, outcome='no-option',
        message=T_NO_OPTION, rows=[]),
    'upgrade_file_another_model': dict(
        args=['--file', '{data}\\x.ENH'], files={'x.ENH': enh(model='QX-5200')}, exit=6, outcome='no-option',
        message=T_NO_OPTION, rows=['not-upgraded']),
    'upgrade_folder_without_option_files': dict(
        args=['--folder', '{data}'], files={'notes.txt': enh()}, exit=8, outcome='file-missing',
        message=T_NO_OPTION_FILE_IN_FOLDER, rows=[], untouched=True),
    'upgrade_folder_missing': dict(
        args=['--folder', '{data}\\gone'], files={'a.ENH': enh()}, exit=8, outcome='file-missing',
        message=T_NO_OPTION_FILE_IN_FOLDER, rows=[], untouched=True),
    'upgrade_file_missing': dict(
        args=['--file', '{data}\\gone.ENH'], exit=8, outcome='file-missing', message=T_NO_OPTION_FILE, rows=[],
        untouched=True),
    'upgrade_file_unreadable': dict(
        # A folder by the file's name: told before any port is opened.
        args=['--file', '{data}\\x.ENH'], files={'x.ENH': 'dir'}, exit=8, outcome='file-unreadable',
        message='x.ENH', rows=[], untouched=True),
    'identify_identity_text': dict(
        command='identify', json=False, exit=0, rows=['read'],
        stdout=['identity_text: ' + MODEL.ljust(12) + IDENTITY_REST]),
}

# Upgrade cases run in both modes: Folder mode on Data, File mode on its
# a.ENH. extra: arguments after the mode's.
BOTH_MODES = {'folder': ['--folder', '{data}'], 'file': ['--file', '{data}\\a.ENH']}
UPGRADE_IN_BOTH_MODES = {
    'written': dict(
        files={'a.ENH': enh()}, exit=0, outcome='written', message=T_WRITTEN, rows=['pending', 'written'],
        record=merged('3fffffffffffff0f')),
    'written_with_version_note': dict(
        files={'a.ENH': enh(min_version='V1.30', rule='recommended')}, exit=0, outcome='written',
        message=T_WRITTEN, warnings=[T_VERSION_NOTE], rows=['pending', 'written'],
        record=merged('3fffffffffffff0f')),
    'refused_by_transceiver': dict(
        files={'a.ENH': enh()}, radio={'write': 'nak'}, exit=1, outcome='refused', message=T_REFUSED,
        rows=['pending', 'refused']),
    'port_not_opened': dict(
        port=7, files={'a.ENH': enh()}, exit=3, outcome='port-not-opened', message=T_PORT_NOT_OPENED, rows=[],
        untouched=True),
    'link_failed_after_one_retry': dict(
        extra=['--retries', '1'], files={'a.ENH': enh()}, radio={'silent_after': 0}, exit=4,
        outcome='link-failed', message=T_LINK_FAILED, rows=[], attempts=2),
    'refused_model': dict(
        files={'a.ENH': enh(model='QM-3390X')}, radio={'model': 'QM-3390X'}, exit=5, outcome='refused-model',
        message=T_REFUSED_MODEL, rows=[]),
    'version_required': dict(
        files={'a.ENH': enh(min_version='V1.30')}, exit=7, outcome='version-required',
        message=T_VERSION_REQUIRED, rows=['not-upgraded']),
    'dry_run_planned': dict(
        extra=['--dry-run'], files={'a.ENH': enh()}, exit=0, outcome='planned', rows=['planned'], no_write=True,
        record_after=merged('3fffffffffffff0f'),
        option_bytes={'before': '3fffffffffffffff', 'after': '3fffffffffffff0f'}),
    'dry_run_unchanged': dict(
        extra=['--dry-run'], files={'a.ENH': CHANGES_NOTHING}, exit=0, outcome='unchanged', rows=['unchanged'],
        no_write=True, record_after=RECORD, option_bytes={'before': '3fffffffffffffff', 'after': '3fffffffffffffff'}),
    'dry_run_version_required': dict(
        extra=['--dry-run'], files={'a.ENH': enh(min_version='V1.30')}, exit=7, outcome='version-required',
        message=T_VERSION_REQUIRED, rows=['not-upgraded'], no_write=True),
    'dry_run_refused_model': dict(
        extra=['--dry-run'], files={'a.ENH': enh(model='QM-3390X')}, radio={'model': 'QM-3390X'}, exit=5,
        outcome='refused-model', message=T_REFUSED_MODEL, rows=[], no_write=True),
    'skip_unchanged_writes_nothing': dict(
        extra=['--skip-unchanged'], files={'a.ENH': CHANGES_NOTHING}, exit=0, outcome='unchanged',
        rows=['unchanged'], no_write=True, record_after=RECORD),
    'skip_unchanged_writes_a_change': dict(
        extra=['--skip-unchanged'], files={'a.ENH': enh()}, exit=0, outcome='written', message=T_WRITTEN,
        rows=['pending', 'written'], record=merged('3fffffffffffff0f')),
    'verify_honest_radio': dict(
        extra=['--verify'], files={'a.ENH': enh()}, exit=0, outcome='written', message=T_WRITTEN,
        rows=['pending', 'written'], record=merged('3fffffffffffff0f'), verified=True, connections=2),
    'verify_radio_that_keeps_its_record': dict(
        extra=['--verify'], files={'a.ENH': enh()}, radio={'write': 'ack-keep'}, exit=13, outcome='verify-failed',
        message=T_VERIFY_FAILED, rows=['pending', 'verify-failed'], record_after=RECORD, verified=False,
        read_back=RECORD, connections=2),
}
for _name, _case in UPGRADE_IN_BOTH_MODES.items():
    for _mode, _args in BOTH_MODES.items():
        CASES['upgrade_%s_%s' % (_mode, _name)] = dict(_case, args=_args + _case.get('extra', []))

# Arguments that are a usage error: exit 2, and nothing reaches any port.
BAD_ARGUMENTS = [
    [],
    ['frobnicate'],
    ['identify'],
    ['identify', '--port', '0'],
    ['identify', '--port', '256'],
    ['identify', '--port', 'COM1X'],
    ['identify', '--port', '1', '--retries', '101'],
    ['identify', '--port', '1', '--port', '1'],
    ['identify', '--port', '1', '--folder', 'x'],
    ['identify', '--port', '1', 'extra'],
    ['upgrade', '--port', '1'],
    ['upgrade', '--port', '1', '--folder', 'a', '--file', 'b'],
    ['upgrade', '--port', '1', '--file'],
    ['restore', '--port', '1'],
    ['restore', '--port', '1', '--record', 'abc'],
    ['restore', '--port', '1', '--entry', '0'],
    ['restore', '--port', '1', '--entry', '2', '--json'],  # a history of one row
    ['ports', '--port', '1'],
    ['--help', 'frobnicate'],
    ['--help', 'identify', 'upgrade'],
    ['--port=' + '9' * 4000],
    ['identify', '--port=1', '--json', '--json'],
    ['upgrade', '--port', '1', '--file', 'a.ENH', '--dry-run', '--verify'],
    ['identify', '--port', '1', '--verify'],
    ['upgrade', '--port', '1', '--file', 'a.ENH', '--trace'],
    ['identify', '--port', '1', '--trace', 'no such folder\\t.txt'],
    ['support', '--out'],
    ['support', '--port', '1'],
    ['support', 'extra'],
    ['support', '--out', 'no such folder\\s.txt'],
]


class CliTests(OrvelleTestCase):
    def cli(self, **kwargs):
        c = Cli(self.session, self.work_root, **kwargs)
        self.addCleanup(c.cleanup)
        return c

    def radio(self, folder, port=PORT, **settings):
        values = dict(model=MODEL, identity_rest=IDENTITY_REST, version=VERSION, record=RECORD)
        values.update(settings)
        r = Radiosim(port=port, prefix=self.session.prefix, workdir=os.path.join(folder, 'radiosim'), **values)
        r.start()
        self.addCleanup(r.stop)
        return r

    def assert_message(self, res, expected):
        message = res.json['message'] if res.json else None
        if isinstance(expected, int):
            text = self.lng[expected]
            if res.json:
                self.assertTrue(same_text(message, text), 'message %r' % message)
            # One line in a console, after what it is.
            self.assertIn(one_line(text), res.err)
        else:
            if res.json:
                self.assertIn(expected, message)
            self.assertIn(expected, res.err)

    def assert_rows(self, rows, outcomes, radio_record=RECORD):
        self.assertEqual([r['outcome'] for r in rows], outcomes)
        for r in rows:
            self.assertEqual((r['program'], r['port'], r['model'], r['version']),
                             ('orvelle-cli', str(PORT), MODEL, VERSION))
            self.assertEqual(r['identity'], identity_of().hex())
            self.assertEqual(r['record_before'], radio_record.hex())
            # Local time with its offset from UTC.
            self.assertRegex(r['time'], r'^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$')

    # -- one command per case -----------------------------------------------
    def run_case(self, name, case):
        cli = self.cli()
        make_files(cli.data, case.get('files', {}))
        radio = self.radio(cli.folder, **case.get('radio', {}))
        command = case.get('command', 'upgrade')
        args = [command, '--port', str(case.get('port', PORT))]
        args += [a.replace('{data}', windows_path(cli.data)) for a in case.get('args', [])]
        if case.get('json', True):
            args.append('--json')
        res = cli.run(args, radio)
        radio.stop()
        radio.keep_artifacts('cli-%s' % name)

        self.assertEqual(res.rc, case['exit'], res)
        if res.json is not None:
            self.assertEqual(res.json['exit'], case['exit'])
            self.assertEqual(res.json['command'], command)
            self.assertEqual(res.json['port'], case.get('port', PORT))
            self.assertEqual(res.json['outcome'], case['outcome'])
            self.assertEqual(res.json['warnings'], [self.lng[n] for n in case.get('warnings', [])])
        for n in case.get('warnings', []):
            self.assertIn(self.lng[n], res.err)
        if 'message' in case:
            self.assert_message(res, case['message'])
        elif res.json is not None:
            self.assertEqual(res.json['message'], '')
        for line in case.get('stdout', []):
            self.assertIn(line, res.out.splitlines())

        rows = cli.history()
        self.assert_rows(rows, case['rows'])
        written = case.get('record')
        result = radio.result()
        self.assertEqual(result['final'], written or RECORD)
        if written:
            self.assertEqual(rows[0]['record_after'], written.hex())
            self.assertEqual(res.json['record_after'], written.hex())
            self.assertEqual(rows[0]['sources'].split('|'), res.json['sources'])
            self.assertTrue(rows[0]['sources'].startswith(windows_path(cli.data) + '\\'), rows[0]['sources'])
        if case.get('identify'):
            j = res.json
            self.assertEqual((j['model'], j['identity'], j['version']), (MODEL, identity_of().hex(), VERSION))
            self.assertEqual((j['option_code'], j['option_type'], j['option_bytes']),
                             (CODE.hex(), 3, {'before': OPTIONS.hex(), 'after': None}))
            self.assertEqual(j['record_before'], RECORD.hex())
            self.assertNotIn('record_after', j)
        heard = radio.received(heard_only=False)
        if command == 'identify':
            self.assertNotIn(WRITE_FRAME, heard, 'identify wrote to the radio')
            self.assertEqual(result['written'], [])
        if case.get('untouched'):
            self.assertEqual(heard, b'', 'the radio heard something')
        if 'attempts' in case:
            self.assertEqual(heard.count(b'FLFM96K'), case['attempts'])
            self.assertEqual(res.err.count(self.lng[T_LINK_FAILED]), case['attempts'])
            self.assertIn('retrying (1 of 1)', res.err)
        if res.rc != 0 and not case.get('rows'):
            self.assertNotIn(WRITE_FRAME, heard)
        if case.get('no_write'):
            self.assertNotIn(WRITE_FRAME, heard)
            self.assertEqual(result['written'], [])
        if 'record_after' in case:
            self.assertEqual(rows[-1]['record_after'], case['record_after'].hex())
            if case['exit'] == 0:
                self.assertEqual(res.json['record_after'], case['record_after'].hex())
                self.assertEqual(rows[-1]['sources'].split('|'), res.json['sources'])
        if 'option_bytes' in case:
            self.assertEqual(res.json['option_bytes'], case['option_bytes'])
            self.assertEqual(res.json['record_before'], RECORD.hex())
        if 'verified' in case:
            self.assertIs(res.json['verified'], case['verified'])
        if 'read_back' in case:
            self.assertEqual(res.json['record_read_back'], case['read_back'].hex())
        if 'connections' in case:
            self.assertEqual(heard.count(b'URK'), case['connections'])

    # -- usage errors ---------------------------------------------------------
    def test_bad_arguments_never_reach_a_port(self):
        cli = self.cli()
        radio = self.radio(cli.folder)
        # A history of one row, for --entry 2.
        self.assertEqual(cli.run(['identify', '--port', str(PORT)], radio).rc, 0)
        os.rename(os.path.join(cli.folder, 'History'), os.path.join(cli.folder, 'History.kept'))
        heard_before = radio.received(heard_only=False)
        for args in BAD_ARGUMENTS:
            with self.subTest(args=' '.join(args)[:60]):
                with_history = '--entry' in args and args[-1] == '--json'
                if with_history:
                    os.rename(os.path.join(cli.folder, 'History.kept'), os.path.join(cli.folder, 'History'))
                try:
                    res = cli.run(args, radio)
                finally:
                    if with_history:
                        os.rename(os.path.join(cli.folder, 'History'), os.path.join(cli.folder, 'History.kept'))
                self.assertEqual(res.rc, 2, res)
                self.assertRegex(res.err, r'^orvelle-cli: \S')
                if '--json' in args:
                    self.assertEqual((res.json['exit'], res.json['outcome']), (2, 'usage'))
                self.assertEqual(radio.received(heard_only=False), heard_before, 'a port was used')
        self.assertFalse(os.path.exists(os.path.join(cli.folder, 'History')))

    def test_restore_from_a_row_without_a_history_says_no_history_yet(self):
        cli = self.cli()
        radio = self.radio(cli.folder)
        res = cli.run(['restore', '--port', str(PORT), '--entry', '1', '--json'], radio)
        self.assertEqual((res.rc, res.json['outcome']), (12, 'history-unavailable'), res)
        self.assertIn('orvelle-cli: --entry: no history yet', res.err)
        self.assertEqual(radio.received(heard_only=False), b'', 'a port was used')
        self.assertFalse(os.path.exists(os.path.join(cli.folder, 'History')))

    # -- what the tool names ---------------------------------------------------
    def test_a_file_that_is_no_option_file_leaves_the_port_unopened(self):
        cli = self.cli()
        radio = self.radio(cli.folder)
        os.makedirs(cli.data)
        cases = {
            'random bytes': (bytes((i * 151 + 7) % 256 for i in range(1000)), 'is not an option file: wrong header'),
            'a text file': (b'notes\r\nmore notes\r\n', 'is not an option file: too short (19 bytes'),
            '0 bytes': (b'', 'is not an option file: too short (0 bytes'),
        }
        for name, (content, said) in cases.items():
            with self.subTest(name):
                path = os.path.join(cli.data, 'x.ENH')
                with open(path, 'wb') as f:
                    f.write(content)
                trace = os.path.join(cli.folder, 'run.trace')
                res = cli.run(['upgrade', '--port', str(PORT), '--file', windows_path(path), '--trace',
                               windows_path(trace), '--json'], radio)
                self.assertEqual((res.rc, res.json['outcome']), (8, 'file-unreadable'), res)
                self.assertIn('orvelle-cli: --file %s %s' % (windows_path(path), said), res.err)
                self.assertIn('x.ENH', res.json['message'])
                with open(trace, encoding='cp1252') as f:
                    lines = f.read().splitlines()
                self.assertTrue(lines[0].startswith('# orvelle-cli '), lines)
                self.assertEqual(lines[2], '# port: COM%d' % PORT)
                self.assertTrue(lines[-1].endswith(' outcome file-unreadable (exit 8)'), lines)
        self.assertEqual(radio.received(heard_only=False), b'', 'a port was used')
        self.assertEqual(cli.history(), [])

    def test_identify_and_history_show_the_identity_as_text(self):
        cli = self.cli()
        radio = self.radio(cli.folder)
        text = MODEL.ljust(12) + IDENTITY_REST
        res = cli.run(['identify', '--port', str(PORT)], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertIn('identity_text: ' + text, res.out.splitlines())
        # The run's own trace, kept as ORVELLE.exe keeps its own.
        with open(os.path.join(cli.folder, 'History', 'last-run.trace'), encoding='cp1252') as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[1], '# command line: identify --port %d' % PORT)
        self.assertTrue(lines[-1].endswith(' outcome identified (exit 0)'), lines)
        listed = cli.run(['history'])
        self.assertEqual(listed.rc, 0, listed)
        self.assertRegex(listed.out, r'(?m)^   1  \S+  orvelle-cli  COM%d +%s +%s  read ' % (PORT, MODEL, text))
        self.assertEqual(cli.run(['history', '--json']).json['rows'][0]['identity_text'], text)

    # -- help, version, ports, the language file ------------------------------
    def test_help_version_ports_and_language_file(self):
        cli = self.cli()
        res = cli.run(['--help'])
        self.assertEqual(res.rc, 0)
        for word in ('ports', 'identify', 'upgrade', 'restore', '--retries K', '--entry K', '--record HEX',
                     '--force', 'History\\upgrades.csv'):
            self.assertIn(word, res.out)
        res = cli.run(['--version'])
        self.assertEqual((res.rc, res.out), (0, 'orvelle-cli %s\n' % project_version()))

        radio = self.radio(cli.folder)
        res = cli.run(['ports', '--probe', '--json'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertEqual([(p['port'], p['usable']) for p in res.json['ports'] if p['port'] <= 20],
                         [(n, n == PORT) for n in range(1, 21)])
        res = cli.run(['ports', '--probe'], radio)
        self.assertIn('COM%d: usable' % PORT, res.out.splitlines())
        self.assertEqual(radio.received(heard_only=False), b'')

        # Without its language file: the fixed message on stderr, naming the
        # file and the way back to the English one the packages ship, and
        # nothing sent.
        bare = self.cli(lng=False)
        res = bare.run(['identify', '--port', str(PORT), '--json'], radio)
        self.assertEqual(res.rc, 10, res)
        self.assertEqual(res.json['outcome'], 'language-file')
        self.assertRegex(res.err, r"^orvelle-cli: error: ORVELLE\.lng is missing from the program's folder .*: "
                                  r"to get the English texts back, run there: copy ORVELLE-en\.lng ORVELLE\.lng\n$")
        self.assertIn('copy ORVELLE-en.lng ORVELLE.lng', res.json['message'])
        self.assertEqual(radio.received(heard_only=False), b'')
        # Still listed, in English: a list of ports needs no texts.
        res = bare.run(['ports', '--probe'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertIn('COM%d: usable' % PORT, res.out.splitlines())

    def test_the_german_file_speaks_german_on_every_line_it_words(self):
        cli = self.cli(lng_file='ORVELLE-de.lng')
        de = LanguageFile(os.path.join(SOURCE_DIR, 'res', 'ORVELLE-de.lng'))
        radio = self.radio(cli.folder, silent_after=0)
        res = cli.run(['identify', '--port', str(PORT), '--retries', '1'], radio)
        self.assertEqual(res.rc, 4, res)
        failed = de[TextNo.kCliError].replace('%1', de[TextNo.kCliLinkFailed])
        self.assertEqual(res.err.splitlines(), [
            'orvelle-cli: ' + failed,
            'orvelle-cli: ' + de[TextNo.kCliRetrying].replace('%1', '1').replace('%2', '1'),
            'orvelle-cli: ' + failed,
            'orvelle-cli: ' + de[TextNo.kCliNoRetriesLeft].replace('%1', '1')])
        radio.stop()
        res = cli.run(['ports', '--probe'], self.radio(cli.folder))
        self.assertIn('COM%d: %s' % (PORT, de[TextNo.kCliPortUsable]), res.out.splitlines())
        for word in ('usable', 'cannot be opened', 'not present'):
            self.assertNotIn(word, res.out)
        # The help, a command's help cut out of it, and a usage error: in its
        # words too, the names of commands and options as typed.
        res = cli.run(['--help'])
        self.assertEqual(res.rc, 0, res)
        self.assertEqual(res.out[:len(de[TextNo.kCliHelpUsage])], de[TextNo.kCliHelpUsage])
        # The file doubles the quotes its texts hold, as a quoted field would.
        self.assertIn(de[TextNo.kCliHelpTopics].replace('""', '"'), res.out)
        self.assertIn(de[TextNo.kCliHelpExitCodes], res.out)
        whole = res.out.splitlines()
        res = cli.run(['help', 'upgrade'])
        self.assertEqual(res.rc, 0, res)
        self.assertEqual(res.out.splitlines()[0], whole[0])
        self.assertIn('  orvelle-cli upgrade  --port N (--folder ORDNER | --file PFAD)', res.out.splitlines())
        self.assertEqual([line for line in res.out.splitlines() if line not in whole], [])
        for word in ('Usage', 'Commands', 'Options:', 'Exit codes', 'restore  '):
            self.assertNotIn(word, res.out)
        res = cli.run(['identify', '--port', '0'])
        self.assertEqual(res.rc, 2, res)
        self.assertEqual(res.err, 'orvelle-cli: %s\n' % de[TextNo.kCliUsageBadPort].replace('%1', '--port').replace(
            '%2', '1').replace('%3', '255').replace('%4', "'0'"))

    # -- the machine's own serial devices -------------------------------------
    def test_no_port_reaches_the_machines_own_serial_devices(self):
        """Wine gives the machine's own /dev/ttyS* the COM numbers its
        registry leaves free: in a test prefix none below COM256 is left, so
        no port the tool lists or opens is one of them, whatever the machine
        has. A fake /dev/ttyS device cannot be made here, so the check reads
        where each of the prefix's COM numbers leads."""
        cli = self.cli()
        radio = self.radio(cli.folder)
        res = cli.run(['ports', '--json'], radio)
        self.assertEqual(res.rc, 0, res)
        listed = [p['port'] for p in res.json['ports']]
        self.assertEqual(listed, list(range(1, 256)), 'every COM number a program can name is the prefix\'s own')
        ports = os.path.realpath(os.path.join(self.session.prefix, 'ports'))
        dosdevices = os.path.join(self.session.prefix, 'dosdevices')
        for number in listed:
            link = os.path.join(dosdevices, 'com%d' % number)
            target = os.readlink(link) if os.path.islink(link) else ''
            with self.subTest(port=number):
                # Into the prefix's ports folder (where a test links a pty),
                # not beyond it.
                self.assertEqual(os.path.realpath(os.path.dirname(target)), ports,
                                 'COM%d leads to %r' % (number, target))

    # -- a port above COM20, by its name ---------------------------------------
    def test_a_cable_on_com23(self):
        cli = self.cli()
        radio = self.radio(cli.folder, port=HIGH_PORT)
        # Listed without being opened, by its number alone (Wine has no
        # device names); Wine lists every port its prefix maps.
        res = cli.run(['ports'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertIn('COM%d' % HIGH_PORT, res.out.splitlines())
        res = cli.run(['ports', '--json'], radio)
        listed = {p['port']: p for p in res.json['ports']}
        self.assertEqual(listed[HIGH_PORT], {'port': HIGH_PORT, 'name': '', 'state': None, 'usable': None})
        self.assertEqual(sorted(listed), [p['port'] for p in res.json['ports']])
        # Every port's device, in the ports' order: Wine has none to report.
        self.assertEqual([d['port'] for d in res.json['devices']], [p['port'] for p in res.json['ports']])
        self.assertEqual({d['port']: d for d in res.json['devices']}[HIGH_PORT],
                         {'port': HIGH_PORT, 'status': None, 'problem': None, 'hardware_id': '',
                          'driver_provider': '', 'driver_version': ''})
        self.assertEqual(radio.received(heard_only=False), b'', 'a listed port was opened')
        # An open sends nothing, but it sets the modem lines (the DCB's DTR
        # and RTS): a listing must not touch them, a probe does.
        self.assertEqual(radio.modem_lines(), [], 'a listed port was opened')
        res = cli.run(['ports', '--probe', '--json'], radio)
        self.assertTrue(radio.modem_lines(), 'the probe opened no port (or the modem-line log is not kept)')
        listed = {p['port']: p for p in res.json['ports']}
        self.assertEqual((listed[HIGH_PORT]['state'], listed[HIGH_PORT]['usable']), ('usable', True))
        self.assertEqual((listed[2]['state'], listed[2]['usable']), ('cannot be opened: not present', False))

        for name in ('COM%d' % HIGH_PORT, 'com%d' % HIGH_PORT, str(HIGH_PORT)):
            res = cli.run(['identify', '--port', name, '--json'], radio)
            self.assertEqual(res.rc, 0, res)
            self.assertEqual((res.json['port'], res.json['model']), (HIGH_PORT, MODEL))
            self.assertEqual(res.json['record_before'], RECORD.hex())

        # A port with no device behind it: the language text, then why.
        res = cli.run(['identify', '--port', 'COM2', '--json'], radio)
        self.assertEqual(res.rc, 3, res)
        self.assertEqual(res.json['port_error'], 'not present')
        self.assertIn('COM2 cannot be opened: not present', res.err)

    # -- restore --------------------------------------------------------------
    def test_restore_of_an_upgraded_radio_to_its_first_record(self):
        cli = self.cli()
        make_files(cli.data, {'a.ENH': enh()})
        radio = self.radio(cli.folder)
        self.assertEqual(cli.run(['upgrade', '--port', str(PORT), '--folder', windows_path(cli.data)], radio).rc, 0)
        upgraded = merged('3fffffffffffff0f')
        self.assertEqual(radio.result()['final'], upgraded)

        res = cli.run(['restore', '--port', str(PORT), '--entry', '1', '--json'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertEqual((res.json['outcome'], res.json['record_before'], res.json['record_after']),
                         ('written', upgraded.hex(), RECORD.hex()))
        # A record put back, not new options.
        self.assert_message(res, TextNo.kCliRestored)
        self.assertNotIn(self.lng[T_WRITTEN], res.err)
        radio.stop()
        self.assertEqual(radio.result()['final'], RECORD, 'the radio holds its first record again')
        rows = cli.history()
        self.assertEqual([(r['outcome'], r['sources']) for r in rows[2:]],
                         [('pending', 'restore:1'), ('written', 'restore:1')])
        self.assertEqual([r['record_before'] for r in rows[2:]], [upgraded.hex()] * 2)

    def test_restore_to_another_radio_is_refused_unless_forced(self):
        cli = self.cli()
        first = self.radio(cli.folder, identity_rest='SN00011111')
        self.assertEqual(cli.run(['identify', '--port', str(PORT)], first).rc, 0)
        first.stop()

        other_record = merged('0000000000000000')
        other = self.radio(cli.folder, identity_rest='SN00022222', record=other_record)
        res = cli.run(['restore', '--port', str(PORT), '--entry', '1', '--json'], other)
        self.assertEqual(res.rc, 9, res)
        self.assertEqual((res.json['outcome'], res.json['message']), ('other-transceiver', ''))
        self.assertIn('SN00022222'.encode().hex(), res.json['error'])
        self.assertIn('restore refused', res.err)
        self.assertNotIn(WRITE_FRAME, other.received(heard_only=False))
        self.assertEqual(other.result()['written'], [])
        self.assertEqual(cli.history()[-1]['outcome'], 'not-upgraded')

        res = cli.run(['restore', '--port', str(PORT), '--entry', '1', '--force', '--json'], other)
        self.assertEqual(res.rc, 0, res)
        other.stop()
        self.assertEqual(other.result()['final'], RECORD)
        self.assertEqual([r['outcome'] for r in cli.history()], ['read', 'not-upgraded', 'pending', 'written'])

    def test_hang_up_during_the_write_leaves_rows_that_restore_the_radio(self):
        # (radiosim fault, the radio's record after the hang-up): the line
        # drops in the middle of the write frame, so the radio keeps its old
        # record; or where the radio would answer it, so it has taken the new
        # one and the program never hears so.
        cases = [
            ({'hangup_in_write': 25}, RECORD),
            ({'hangup_after': BYTES_BEFORE_WRITE_ANSWER}, merged('3fffffffffffff0f')),
        ]
        for fault, after_hang_up in cases:
            with self.subTest(fault=fault):
                cli = self.cli()
                make_files(cli.data, {'a.ENH': enh()})
                radio = self.radio(cli.folder, **fault)
                # The hang-up final: no retry sends the frame again.
                res = cli.run(['upgrade', '--port', str(PORT), '--folder', windows_path(cli.data), '--retries', '0',
                               '--json'], radio)
                self.assertEqual(res.rc, 4, '%r\nradiosim heard and said:\n%s' % (res, radio.story()))
                self.assertEqual(res.json['outcome'], 'link-failed')
                self.assertTrue(any(l.what == 'ev' and l.data.startswith('hang-up') for l in radio.log()))
                rows = cli.history()
                self.assertEqual([r['outcome'] for r in rows], ['pending', 'failed'])
                self.assertEqual({r['record_before'] for r in rows}, {RECORD.hex()})
                self.assertEqual(radio.result()['final'], after_hang_up)

                # The technician plugs the radio in again: radiosim has
                # linked a fresh line since the hang-up (on a loaded machine
                # that can come after the run above has ended).
                def relinked():
                    events = [l.data for l in radio.log() if l.what == 'ev']
                    hang_ups = [i for i, e in enumerate(events) if e.startswith('hang-up')]
                    return hang_ups and any(e.startswith('line ') for e in events[hang_ups[-1] + 1:])
                self.drv.wait_until(relinked, timeout=30, what='radiosim to link a fresh line')
                res = cli.run(['restore', '--port', str(PORT), '--entry', '2'], radio)
                self.assertEqual(res.rc, 0, res)
                radio.stop()
                self.assertEqual(radio.result()['final'], RECORD)

    def test_dry_run_plain_output(self):
        cli = self.cli()
        make_files(cli.data, {'a.ENH': enh()})
        radio = self.radio(cli.folder)
        res = cli.run(['upgrade', '--port', str(PORT), '--folder', windows_path(cli.data), '--dry-run'], radio)
        self.assertEqual(res.rc, 0, res)
        lines = res.out.splitlines()
        for line in ('record_before: ' + RECORD.hex(), 'record_after: ' + merged('3fffffffffffff0f').hex(),
                     'option_bytes: 3f ff ff ff ff ff ff [ff] -> 3f ff ff ff ff ff ff [0f]',
                     'sources: ' + windows_path(cli.data) + '\\a.ENH', 'outcome: planned'):
            self.assertIn(line, lines)
        self.assertEqual(res.err, '', 'a preview shows no message')
        radio.stop()
        self.assertEqual(radio.result()['final'], RECORD)
        self.assertNotIn(WRITE_FRAME, radio.received(heard_only=False))

    # -- the byte trace -------------------------------------------------------
    def trace_events(self, path):
        """[(milliseconds, event)] of a trace file: the line's events, after
        the header (program and time, command line, port; checked) and
        before the outcome line (checked)."""
        with open(path, 'rb') as f:
            text = f.read().decode('cp1252').replace('\r\n', '\n')
        lines = text.splitlines()
        self.assertTrue(lines[0].startswith('# orvelle-cli '), lines[0])
        self.assertTrue(lines[1].startswith('# command line: '), lines[1])
        self.assertTrue(lines[2].startswith('# port: COM'), lines[2])
        self.assertRegex(lines[-1], r'^ *\d+\.\d outcome \S+ \(exit \d+\)$')
        events = []
        for line in lines[3:-1]:
            m = re.match(r'^ *(\d+\.\d) (.+)$', line)
            self.assertIsNotNone(m, line)
            events.append((float(m.group(1)), m.group(2)))
        self.assertEqual([t for t, _ in events], sorted(t for t, _ in events), 'times rise')
        return events

    @staticmethod
    def traced_bytes(events, what):
        out = b''
        for _, event in events:
            if event.startswith(what + ' '):
                out += bytes.fromhex(event[len(what) + 1:].split('  |')[0])
        return out

    def test_trace_is_the_line_radiosim_heard_and_answered(self):
        # An upgrade read back over a second connection, and a run against a
        # radio that stops answering (retried once): both directions byte for
        # byte as radiosim logged them, and a complete file after the failure.
        cases = [
            ('verified upgrade', {}, ['--verify'], 0),
            ('radio goes silent', {'silent_after': BYTES_BEFORE_WRITE_ANSWER - 20}, ['--retries', '1'], 4),
        ]
        for name, fault, extra, exit_code in cases:
            with self.subTest(name):
                cli = self.cli()
                make_files(cli.data, {'a.ENH': enh()})
                radio = self.radio(cli.folder, **fault)
                trace = os.path.join(cli.folder, 'line.trace')
                res = cli.run(['upgrade', '--port', str(PORT), '--folder', windows_path(cli.data), '--trace',
                               windows_path(trace)] + extra, radio)
                self.assertEqual(res.rc, exit_code, res)
                radio.stop()
                events = self.trace_events(trace)
                self.assertEqual(self.traced_bytes(events, 'tx'), radio.received(heard_only=False))
                self.assertEqual(self.traced_bytes(events, 'rx'), radio.sent())
                words = [e.split(' ')[0] for _, e in events]
                line_events = [e for _, e in events if not e.startswith('step ')]
                self.assertTrue(line_events[0].startswith('open COM%d ' % PORT), line_events[0])
                self.assertEqual(events[-1][1], 'close')
                self.assertIn('baud', words)
                self.assertIn('step identity', [e for _, e in events])
                if exit_code:
                    self.assertTrue(any(e.startswith('timeout after ') for _, e in events))
                else:
                    self.assertEqual(words.count('open'), 2, 'the read-back connection')
                    self.assertIn('step verify', [e for _, e in events])

    def test_trace_to_stderr_and_of_a_port_that_cannot_be_opened(self):
        cli = self.cli()
        radio = self.radio(cli.folder)
        res = cli.run(['identify', '--port', str(PORT), '--trace', '-'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertRegex(res.err, r'(?m)^ *\d+\.\d tx 55 52 4B  \|URK\|$')
        self.assertIn('outcome: identified', res.out)
        # Listing opens no port, so its trace holds no open; a probe opens each.
        res = cli.run(['ports', '--trace', '-'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertNotRegex(res.err, r'(?m)^ *\d+\.\d (open|error) ')
        res = cli.run(['ports', '--probe', '--trace', '-'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertRegex(res.err, r'(?m)^ *\d+\.\d error \d+ .*\(open COM7\)$')
        res = cli.run(['identify', '--port', '7', '--trace', '-'], radio)
        self.assertEqual(res.rc, 3, res)
        self.assertRegex(res.err, r'(?m)^ *\d+\.\d error \d+ .*\(open COM7\)$')

    # -- ORVELLE.exe ----------------------------------------------------------
    def orvelle_run(self, name, prepare=None, history_question=False):
        """One upgrade through ORVELLE.exe's window; returns the app. With
        history_question, the question whether to write without a history
        entry comes first and is answered Yes."""
        app = self.app(ini={'File': '', 'ComPort': str(PORT), 'Mode': '1'})
        make_files(app.data_dir, {'a.ENH': enh()})
        if prepare:
            prepare(app.folder)
        radio = self.radio(app.folder)
        app.start(env=radio.wine_env(self.session.env))
        self.drv.click(app.hwnd, Res.IDC_UPGRADE)
        if history_question:
            box = app.message_box(timeout_ms=30000)
            self.assertIn(RECORD.hex(), box.text)
            self.assertEqual(box.caption, self.lng[TextNo.kCaptionQuestion])
            self.assertEqual([b['id'] for b in box.buttons], [IDYES, IDNO])
            self.drv.press(box, IDYES)
        box = app.message_box(timeout_ms=30000)
        self.assertTrue(same_text(box.text, self.lng[T_WRITTEN]), '%s: %r' % (name, box.text))
        self.drv.press(box, IDOK)
        self.drv.wait_until(lambda: app.caption() == self.lng[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE), timeout=30,
                            what='the dialog unlocked')
        self.assertTrue(app.settled_no_message_box(), '%s: a message box too many' % name)
        self.assertEqual(app.close(), 0)
        radio.stop()
        self.assertEqual(radio.result()['final'], merged('3fffffffffffff0f'), name)
        return app

    def test_orvelle_exe_history_rows(self):
        app = self.orvelle_run('history')
        rows = read_history(app.folder)
        self.assertEqual([r['outcome'] for r in rows], ['pending', 'written'])
        for r in rows:
            self.assertEqual((r['program'], r['port'], r['model'], r['version']), ('ORVELLE', str(PORT), MODEL,
                                                                                  VERSION))
            self.assertEqual(r['record_before'], RECORD.hex())
            self.assertEqual(r['record_after'], merged('3fffffffffffff0f').hex())
            self.assertEqual(r['sources'], app.windows_path('Data', 'a.ENH'))

    def test_orvelle_exe_with_history_unwritable_runs_as_before(self):
        # Wine running as root ignores read-only attributes: the History
        # folder is made unusable by a file in its place, or by a folder in
        # the place of upgrades.csv.
        def history_file(folder):
            with open(os.path.join(folder, 'History'), 'w') as f:
                f.write('not a folder')

        def csv_folder(folder):
            os.makedirs(os.path.join(folder, 'History', 'upgrades.csv'))

        # The record read can be kept nowhere: the write waits for the
        # user's Yes, then runs as before.
        for name, prepare in (('a file named History', history_file), ('a folder named upgrades.csv', csv_folder)):
            with self.subTest(name):
                app = self.orvelle_run(name, prepare, history_question=True)
                if prepare is history_file:
                    with open(os.path.join(app.folder, 'History')) as f:
                        self.assertEqual(f.read(), 'not a folder')
                else:
                    self.assertEqual(os.listdir(os.path.join(app.folder, 'History', 'upgrades.csv')), [])

    def test_cli_with_history_unwritable_warns_and_runs(self):
        cli = self.cli()
        with open(os.path.join(cli.folder, 'History'), 'w') as f:
            f.write('not a folder')
        radio = self.radio(cli.folder)
        res = cli.run(['identify', '--port', str(PORT), '--json'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertEqual(len(res.json['warnings']), 1)
        self.assertTrue(res.json['warnings'][0].startswith('history not written: '), res.json['warnings'])
        self.assertIn('orvelle-cli: warning: history not written: ', res.err)

    # -- a history file another program holds ---------------------------------
    def test_history_held_for_a_moment_gets_its_row_after_the_wait(self):
        cli = self.cli()
        make_files(cli.data, {'a.ENH': enh()})
        radio = self.radio(cli.folder)
        held = HeldFile(self.session, os.path.join(cli.folder, 'History', 'upgrades.csv'), 600000)
        proc = subprocess.Popen(['wine', cli.exe, 'upgrade', '--port', str(PORT), '--folder', windows_path(cli.data),
                                 '--json'], cwd=cli.folder, env=radio.wine_env(self.session.env),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            # The record has been read: the pending row is being tried now.
            self.drv.wait_until(lambda: RECORD in radio.sent(), timeout=60, what='the record read')
            # The other program's moment with the file: the scenario, not a
            # wait for a state. Short, so that it and the release fit the
            # program's 2 s of retries on a loaded machine.
            time.sleep(0.3)
            # Nothing written while the history could not keep the record.
            self.assertNotIn(WRITE_FRAME, radio.received(heard_only=False))
            self.assertEqual(held.release(), 'on request')
            out, err = proc.communicate(timeout=120)
        finally:
            if proc.poll() is None:
                proc.kill()
            held.release()
        res = Result(subprocess.CompletedProcess(proc.args, proc.returncode, out, err), True)
        self.assertEqual(res.rc, 0, res)
        self.assertEqual(res.json['warnings'], [])
        self.assertEqual([r['outcome'] for r in cli.history()], ['pending', 'written'])
        radio.stop()
        self.assertEqual(radio.result()['final'], merged('3fffffffffffff0f'))

    def test_history_held_open_by_a_spreadsheet_goes_to_a_side_file_the_next_run_folds(self):
        cli = self.cli()
        make_files(cli.data, {'a.ENH': enh()})
        radio = self.radio(cli.folder)
        held = HeldFile(self.session, os.path.join(cli.folder, 'History', 'upgrades.csv'), 600000)
        held_since = time.monotonic()
        try:
            res = cli.run(['upgrade', '--port', str(PORT), '--folder', windows_path(cli.data), '--json'], radio)
            # Open in the spreadsheet for 10 s: the history reads the same
            # meanwhile, the side file's rows numbered on.
            listed = cli.run(['history', '--json'])
            time.sleep(max(0.0, 10 - (time.monotonic() - held_since)))
        finally:
            how = held.release()
        # Held for the whole run, not let go early by a time limit.
        self.assertEqual(how, 'on request')
        # The run wrote, its rows in a side file of its own.
        self.assertEqual(res.rc, 0, res)
        self.assertEqual(res.json['outcome'], 'written')
        history = os.path.join(cli.folder, 'History')
        sides = [n for n in os.listdir(history) if re.fullmatch(r'upgrades-\d{8}-\d{6}-\d+\.csv', n)]
        self.assertEqual(len(sides), 1, os.listdir(history))
        self.assertEqual(res.json['warnings'],
                         ['%s is open in another program: the row went to %s'
                          % (windows_path(os.path.join(history, 'upgrades.csv')),
                             windows_path(os.path.join(history, sides[0])))])
        self.assertIn('orvelle-cli: warning: ', res.err)
        self.assertEqual(cli.history(), [])
        with open(os.path.join(history, sides[0]), 'rb') as f:
            side = list(csv.reader(io.StringIO(f.read().decode('cp1252'), newline='')))
        self.assertEqual(','.join(side[0]), HEADER)
        self.assertEqual([r[-1] for r in side[1:]], ['pending', 'written'])
        self.assertEqual(listed.rc, 0, listed)
        self.assertEqual([(r['entry'], r['outcome']) for r in listed.json['rows']], [(1, 'pending'), (2, 'written')])
        radio.stop()
        self.assertEqual(radio.result()['final'], merged('3fffffffffffff0f'))

        # Let go: the next run folds the side file in before its own row.
        radio = self.radio(cli.folder)
        res = cli.run(['identify', '--port', str(PORT), '--json'], radio)
        self.assertEqual(res.rc, 0, res)
        self.assertEqual(res.json['warnings'], [])
        self.assertEqual([r['outcome'] for r in cli.history()], ['pending', 'written', 'read'])
        self.assertEqual([r['record_before'] for r in cli.history()[:2]], [RECORD.hex()] * 2)
        self.assertFalse(os.path.exists(os.path.join(history, sides[0])))
        listed = cli.run(['history', '--json'])
        self.assertEqual([(r['entry'], r['outcome']) for r in listed.json['rows']],
                         [(1, 'pending'), (2, 'written'), (3, 'read')])

    def test_history_folder_that_cannot_be_written_writes_nothing(self):
        # Wine running as root ignores read-only attributes: a file in the
        # History folder's place.
        cli = self.cli()
        make_files(cli.data, {'a.ENH': enh()})
        with open(os.path.join(cli.folder, 'History'), 'w') as f:
            f.write('not a folder')
        radio = self.radio(cli.folder)
        res = cli.run(['upgrade', '--port', str(PORT), '--folder', windows_path(cli.data), '--json'], radio)
        self.assertEqual(res.rc, 12, res)
        self.assertEqual((res.json['exit'], res.json['outcome']), (12, 'history-unavailable'))
        self.assertEqual(res.json['record_before'], RECORD.hex())
        self.assertNotIn('record_after', res.json)
        self.assertIn('upgrades.csv', res.err)
        self.assertIn('orvelle-cli: not written: the history could not keep the record read', res.err)
        self.assertIn('orvelle-cli: warning: the history cannot keep the record read: ', res.err)
        radio.stop()
        self.assertNotIn(WRITE_FRAME, radio.received(heard_only=False))
        self.assertEqual(radio.result()['final'], RECORD)
        with open(os.path.join(cli.folder, 'History')) as f:
            self.assertEqual(f.read(), 'not a folder')

    def test_orvelle_exe_writes_to_a_side_file_when_the_history_is_held_too_long(self):
        app = self.app(ini={'File': '', 'ComPort': str(PORT), 'Mode': '1'})
        make_files(app.data_dir, {'a.ENH': enh()})
        radio = self.radio(app.folder)
        held = HeldFile(self.session, os.path.join(app.folder, 'History', 'upgrades.csv'), 600000)
        try:
            app.start(env=radio.wine_env(self.session.env))
            self.drv.click(app.hwnd, Res.IDC_UPGRADE)
            # No question: the record read is kept in the side file.
            box = app.message_box(timeout_ms=30000)
            self.assertTrue(same_text(box.text, self.lng[T_WRITTEN]), box.text)
            self.drv.press(box, IDOK)
            self.drv.wait_until(lambda: app.caption() == self.lng[TextNo.kAppTitle]
                                and app.enabled(Res.IDC_UPGRADE), timeout=30, what='the dialog unlocked')
            self.assertTrue(app.settled_no_message_box(), 'a message box too many')
            self.assertEqual(app.close(), 0)
        finally:
            how = held.release()
        self.assertEqual(how, 'on request')
        radio.stop()
        self.assertEqual(radio.result()['final'], merged('3fffffffffffff0f'))
        self.assertEqual(read_history(app.folder), [])
        history = os.path.join(app.folder, 'History')
        sides = [n for n in os.listdir(history) if re.fullmatch(r'upgrades-\d{8}-\d{6}-\d+\.csv', n)]
        self.assertEqual(len(sides), 1, os.listdir(history))
        with open(os.path.join(history, sides[0]), 'rb') as f:
            side = list(csv.reader(io.StringIO(f.read().decode('cp1252'), newline='')))
        self.assertEqual(','.join(side[0]), HEADER)
        self.assertEqual([(r[1], r[-1]) for r in side[1:]], [('ORVELLE', 'pending'), ('ORVELLE', 'written')])

    # -- help, arguments, listing ---------------------------------------------
    def test_help_forms_and_arguments_outside_the_code_page(self):
        cli = self.cli()
        for args in (['-h'], ['/?'], ['help']):
            with self.subTest(args=args):
                res = cli.run(args)
                self.assertEqual(res.rc, 0, res)
                self.assertIn('Exit codes:', res.out)
                for word in ('  11  interrupted', '  12  the history', 'ANSI code page', 'history  [--last N]'):
                    self.assertIn(word, res.out)
        # On one command: its own usage, options and exit codes, the same
        # lines in every form.
        helps = []
        for args in (['help', 'restore'], ['--help', 'restore'], ['Restore', '--help']):
            with self.subTest(args=args):
                res = cli.run(args)
                self.assertEqual(res.rc, 0, res)
                self.assertIn('Exit codes:', res.out)
                for word in ('  11  interrupted', '  12  the history', 'orvelle-cli restore  --port N',
                             '  --record HEX'):
                    self.assertIn(word, res.out)
                for word in ('ANSI code page', 'history  [--last N]', '--folder DIR', '   8  '):
                    self.assertNotIn(word, res.out)
                helps.append(res.out)
        self.assertEqual(len(set(helps)), 1)
        # A mistyped command names the nearest one.
        res = cli.run(['upgarde', '--port', '1'])
        self.assertEqual(res.rc, 2, res)
        self.assertEqual(res.err, "orvelle-cli: unknown command 'upgarde' (did you mean upgrade?)\n")
        res = cli.run([])
        self.assertEqual((res.rc, res.out), (2, ''))
        self.assertIn('Usage:', res.err)

        # A path the ANSI code page cannot hold is refused by name, not
        # bent into another path.
        radio = self.radio(cli.folder)
        res = cli.run(['upgrade', '--port', str(PORT), '--file', 'C:\\\u65e5\u672c.ENH'], radio)
        self.assertEqual(res.rc, 2, res)
        self.assertIn("argument 5 'C:\\??.ENH'", res.err)
        self.assertEqual(radio.received(heard_only=False), b'')
        # With --json its object all the same.
        res = cli.run(['upgrade', '--port', str(PORT), '--file', 'C:\\\u65e5\u672c.ENH', '--json'], radio)
        self.assertEqual(res.rc, 2, res)
        self.assertEqual((res.json['command'], res.json['exit'], res.json['outcome'], res.json['port']),
                         ('upgrade', 2, 'usage', None))
        self.assertIn('cannot represent', res.json['error'])
        self.assertEqual(radio.received(heard_only=False), b'')

    def test_history_lists_rows_as_restore_numbers_them(self):
        cli = self.cli()
        radio = self.radio(cli.folder)
        self.assertEqual(cli.run(['identify', '--port', str(PORT)], radio).rc, 0)
        with open(os.path.join(cli.folder, 'History', 'upgrades.csv'), 'ab') as f:
            f.write(b'a damaged,row\r\n')
        self.assertEqual(cli.run(['identify', '--port', str(PORT)], radio).rc, 0)
        res = cli.run(['history', '--json'])
        self.assertEqual(res.rc, 0, res)
        self.assertEqual([(r['entry'], r.get('outcome'), r.get('damaged')) for r in res.json['rows']],
                         [(1, 'read', None), (2, None, True), (3, 'read', None)])
        self.assertEqual(res.json['rows'][0]['model'], MODEL)
        res = cli.run(['history', '--last', '1'])
        # The time is the file's own, of the last run's row.
        rows = cli.history()
        self.assertEqual(rows[-1]['outcome'], 'read')
        self.assertRegex(rows[-1]['time'], r'^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$')
        self.assertEqual(res.out.splitlines()[0].split()[:3], ['3', rows[-1]['time'], 'orvelle-cli'])
        self.assertEqual(len(res.out.splitlines()), 1)

    # -- the support file --------------------------------------------------------
    def support_parts(self, path):
        """The support file's parts by heading, all of them, in order."""
        parts = support_parts(path)
        self.assertEqual(list(parts), SUPPORT_PARTS)
        return parts

    def test_support_file_after_an_upgrade(self):
        # An upgrade first, its trace kept where ORVELLE.exe keeps its last run's,
        # so the support file has a history, a trace and option files to show.
        cli = self.cli()
        make_files(cli.data, {'a.ENH': enh()})
        with open(os.path.join(cli.folder, 'ORVELLE.ini'), 'wb') as f:
            f.write(b'[INIT]\r\nFolder=%s\r\nComPort=%d\r\nMode=1\r\n' % (windows_path(cli.data).encode(), PORT))
        os.makedirs(os.path.join(cli.folder, 'History'))
        radio = self.radio(cli.folder)
        trace = windows_path(os.path.join(cli.folder, 'History', 'last-run.trace'))
        res = cli.run(['upgrade', '--port', str(PORT), '--folder', windows_path(cli.data), '--trace', trace], radio)
        self.assertEqual(res.rc, 0, res)

        res = cli.run(['support'])
        self.assertEqual(res.rc, 0, res)
        self.assertRegex(res.out, r'^\S.*\\History\\support-\d{8}-\d{6}\.txt\n$')
        self.assertEqual(res.err, '')
        name = res.out.strip().split('\\')[-1]
        parts = self.support_parts(os.path.join(cli.folder, 'History', name))
        bits = '32-bit' if os.path.basename(build_dir()) == 'win32' else '64-bit'
        for line in ('program: orvelle-cli.exe', 'version: %s.0' % project_version(), 'build: ' + bits):
            self.assertIn(line, parts['Program'])
        self.assertTrue(any(re.match(r'^Windows: \d+\.\d+ build \d+', l) for l in parts['Program']))
        self.assertTrue(any(re.match(r'^ANSI code page: \d+$', l) for l in parts['Program']))
        self.assertIn('language: English', parts['Language file'])
        self.assertTrue(parts['Language file'][0].endswith('\\ORVELLE.lng'), parts['Language file'])
        self.assertIn('ComPort=%d' % PORT, parts['Settings'])
        self.assertTrue(any(l.startswith('COM%d' % PORT) for l in parts['Serial ports']), parts['Serial ports'])
        self.assertIn('  status: started', parts['Serial ports'])
        size = os.path.getsize(os.path.join(cli.data, 'a.ENH'))
        self.assertEqual(parts['Option location'], ['mode: Folder', 'folder: ' + windows_path(cli.data),
                                                    'a.ENH  %d bytes  model %s  option codes 00000102' % (size, MODEL)])
        history = parts['History']
        self.assertIn('rows: 2', history)
        self.assertEqual([l.split(',')[0] for l in history[-2:]], ['1', '2'])
        self.assertTrue(history[-1].endswith(',written'), history[-1])
        events = [l.split(None, 1)[1] for l in parts["Last run's byte trace"][2:]]
        # The port closed, then how the run ended: the trace's last line.
        self.assertEqual(events[-2:], ['close', 'outcome written (exit 0)'])
        self.assertIn('step write', events)
        self.assertTrue(any(e.startswith('open COM%d ' % PORT) for e in events), events)

        # To a file named, replacing it; a file that cannot be written is a
        # usage error and leaves nothing.
        out = os.path.join(cli.folder, 'mine.txt')
        with open(out, 'wb') as f:
            f.write(b'old')
        res = cli.run(['support', '--out', 'mine.txt'])
        self.assertEqual((res.rc, res.out), (0, windows_path(out) + '\n'), res)
        self.assertEqual(self.support_parts(out)['Language file'], parts['Language file'])
        res = cli.run(['support', '--out', 'no such folder\\s.txt'])
        self.assertEqual(res.rc, 2, res)
        self.assertRegex(res.err, r'^orvelle-cli: --out: .*no such folder')

    def test_support_file_of_a_bare_folder(self):
        # No language file, no settings, no history, no trace: each part says
        # so, and the file is written all the same.
        cli = self.cli(lng=False)
        res = cli.run(['support'])
        self.assertEqual(res.rc, 0, res)
        parts = self.support_parts(res.out.strip().replace(windows_path(cli.folder), cli.folder).replace('\\', '/'))
        self.assertTrue(parts['Language file'][0].startswith("not loaded: Can't read language file"), parts)
        self.assertEqual(parts['Settings'][1], 'not shown: not found')
        self.assertEqual(parts['Option location'], ['mode: Folder', 'folder: %s\\Data' % windows_path(cli.folder),
                                                    '(no option files)'])
        self.assertEqual(parts['History'][1], '(the history has no rows)')
        self.assertEqual(parts["Last run's byte trace"][1], 'not shown: not found')


class BatchTests(OrvelleTestCase):
    """upgrade --each against radiosim playing radios one after another."""

    def cli(self):
        c = Cli(self.session, self.work_root)
        self.addCleanup(c.cleanup)
        return c

    def batch_radio(self, folder, radios):
        r = Radiosim(port=PORT, prefix=self.session.prefix, workdir=os.path.join(folder, 'radiosim'),
                     model=MODEL, version=VERSION, record=RECORD, radios=radios)
        r.start()
        self.addCleanup(r.stop)
        return r

    @staticmethod
    def identity_text(model, rest):
        # As a label shows it: the zero bytes after the model as spaces.
        return model.ljust(12) + rest

    def test_five_radios_in_a_row(self):
        cli = self.cli()
        make_files(cli.data, {'a.ENH': enh()})
        # The first plugged in again as the fourth, a refused model third.
        radio = self.batch_radio(cli.folder, [{'identity_rest': 'SN-1'}, {'identity_rest': 'SN-2'},
                                              {'model': 'QM-3390', 'identity_rest': 'SN-3'}, {'same_as': 1},
                                              {'identity_rest': 'SN-5'}])
        report = os.path.join(cli.folder, 'report.csv')
        res = cli.run(['upgrade', '--port', str(PORT), '--folder', windows_path(cli.data), '--each',
                       '--count', '5', '--report', windows_path(report)], radio=radio, timeout=600)
        self.assertEqual(res.rc, 14, res)
        words = ['written', 'written', 'refused-model', 'skipped-as-done', 'written']
        texts = [self.identity_text(MODEL, 'SN-1'), self.identity_text(MODEL, 'SN-2'),
                 self.identity_text('QM-3390', 'SN-3'), self.identity_text(MODEL, 'SN-1'),
                 self.identity_text(MODEL, 'SN-5')]
        lines = res.out.splitlines()
        self.assertEqual(len(lines), 7, res)
        for number, (line, word, text) in enumerate(zip(lines, words, texts), 1):
            self.assertTrue(line.startswith('%d  ' % number), line)
            self.assertIn('  COM%d  ' % PORT, line)
            self.assertIn('  %s  ' % text, line)
            self.assertTrue(line.endswith('  ' + word), line)
        self.assertIn('  options %s -> %s  ' % (OPTIONS.hex(), '3fffffffffffff0f'), lines[0])
        self.assertIn('  options - -> -  ', lines[3])
        self.assertEqual(lines[5], '5 radios: 3 written, 0 unchanged, 0 failed, 1 refused, 1 skipped as done, '
                                   '0 stopped')
        self.assertEqual(lines[6], 'outcome: some-failed')
        # Into a pipe the status is one line per change.
        self.assertEqual(res.err.count('upgrading the radio on COM%d\n' % PORT), 5, res)
        self.assertEqual(res.err.count('remove the radio from COM%d (' % PORT), 4, res)
        self.assertIn(self.lng[T_REFUSED_MODEL].split('\n')[0], res.err)

        with open(report, 'rb') as f:
            rows = list(csv.DictReader(io.StringIO(f.read().decode('cp1252'), newline='')))
        self.assertEqual([r['number'] for r in rows], ['1', '2', '3', '4', '5'])
        self.assertEqual([r['outcome'] for r in rows], words)
        self.assertEqual([r['identity_text'] for r in rows], texts)
        self.assertEqual([r['port'] for r in rows], [str(PORT)] * 5)
        self.assertEqual(rows[0]['record_before'], RECORD.hex())
        self.assertEqual(rows[0]['record_after'], merged('3fffffffffffff0f').hex())
        self.assertEqual([r['version'] for r in rows], [VERSION, VERSION, '', '', VERSION])
        self.assertEqual([r['verified'] for r in rows], [''] * 5)

        # The history has the rows of the three single runs that read a record.
        history = cli.history()
        self.assertEqual([r['outcome'] for r in history], ['pending', 'written'] * 3)
        self.assertEqual([r['identity'] for r in history[1::2]],
                         [identity_of(rest=rest).hex() for rest in ('SN-1', 'SN-2', 'SN-5')])
        radio.stop()
        radios = radio.result()['radios']
        for number in (1, 2, 5):
            self.assertEqual(radios[number]['final'], merged('3fffffffffffff0f'), number)
        self.assertEqual(radios[3]['written'], [])
        self.assertEqual(radios[4]['written'], [], 'the first radio is not written twice')

    def test_ctrl_c_while_waiting_ends_at_once_with_the_summary(self):
        cli = self.cli()
        make_files(cli.data, {'a.ENH': enh()})
        # A radio that does not come while the test lasts.
        radio = self.batch_radio(cli.folder, [{'gap_ms': 3600000}])
        report = os.path.join(cli.folder, 'report.csv')
        err_path = os.path.join(cli.folder, 'stderr.txt')
        with open(err_path, 'wb') as err:
            proc = subprocess.Popen(['wine', cli.exe, 'upgrade', '--port', str(PORT), '--folder',
                                     windows_path(cli.data), '--each', '--report', windows_path(report)],
                                    cwd=cli.folder, env=radio.wine_env(self.session.env), stdout=subprocess.PIPE,
                                    stderr=err)
            try:
                def waiting():
                    with open(err_path, 'rb') as f:
                        return b'waiting for a radio on COM%d (' % PORT in f.read()
                self.drv.wait_until(waiting, timeout=60, what='the waiting status')
                pressed = time.monotonic()
                proc.send_signal(signal.SIGINT)  # Wine delivers it as Ctrl+C
                out, _ = proc.communicate(timeout=60)
                took = time.monotonic() - pressed
            finally:
                if proc.poll() is None:
                    proc.kill()
        with open(err_path, 'rb') as f:
            res = Result(subprocess.CompletedProcess(proc.args, proc.returncode, out, f.read()), False)
        self.assertEqual(res.rc, 11, res)
        self.assertEqual(res.out, '0 radios: 0 written, 0 unchanged, 0 failed, 0 refused, 0 skipped as done, '
                                  '0 stopped\noutcome: interrupted\n')
        # At once: the attempt in progress is cut short, no other begins (one
        # attempt alone takes about two seconds of the protocol's waits).
        self.assertLess(took, 15.0, res)
        with open(report, 'rb') as f:
            self.assertEqual(f.read().decode('cp1252').splitlines(),
                             [','.join(['number', 'time', 'port', 'model', 'identity', 'identity_text', 'version',
                                        'record_before', 'record_after', 'sources', 'outcome', 'verified'])])
        self.assertEqual(cli.history(), [])


def _make_test(name, case):
    def test(self):
        self.run_case(name, case)
    return test


for _name, _case in CASES.items():
    setattr(CliTests, 'test_' + _name, _make_test(_name, _case))


if __name__ == '__main__':
    run()
