"""End-to-end upgrade runs: ORVELLE.exe under Wine, its COM1 a pty whose
other end is radiosim, driven through its windows. One table row per case:
the option files (made with enhtool), the radio, the answers given at the
message boxes, and what must be seen and left on the radio afterwards.
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text  # noqa: E402
from harness.radiosim import native_build_dir  # noqa: E402
from harness.ui import IDOK, IDCANCEL, IDRETRY  # noqa: E402

PORT = 1
MODEL = 'QX-5100'
CODE = bytes.fromhex('00000102')
OPTIONS = bytes.fromhex('3fffffffffffffff')  # option type 3

# The radio's record: recognisable carried bytes around the named fields.
RECORD = bytearray(range(0x80, 0x80 + 50))
RECORD[10:22] = MODEL.encode().ljust(12, b'\0')
RECORD[22:26] = CODE
RECORD[42:50] = OPTIONS
RECORD = bytes(RECORD)

CONTROLS = (Res.IDC_MODE_GROUP, Res.IDC_FOLDER_MODE, Res.IDC_FILE_MODE, Res.IDC_BROWSE, Res.IDC_UPGRADE,
            Res.IDC_PATH_EDIT)
OUTCOME, WARNING, ERROR = TextNo.kCaptionOutcome, TextNo.kCaptionWarning, TextNo.kCaptionError


def enh(model=MODEL, min_version='V1.00', rule='required', entries=(('00000102', 3, '0fffffffffffff0f'),)):
    lines = ['model "%s"' % model, 'min-version "%s"' % min_version, 'rule %s' % rule]
    lines += ['entry code=%s type=%d mask=%s' % e for e in entries]
    return '\n'.join(lines) + '\n'


def merged(*masks):
    out = bytearray(RECORD)
    for m in masks:
        for i, b in enumerate(bytes.fromhex(m)):
            out[42 + i] &= b
    return bytes(out)


# name: (mode, files {name: description | 'dir'}, file for File mode, radio settings,
#        answers, boxes [(body, caption)], record afterwards, extra checks)
CASES = {
    'record_written': dict(
        files={'a.ENH': enh()}, boxes=[(TextNo.kRecordWritten, OUTCOME)], record=merged('3fffffffffffff0f')),
    'written_with_version_note': dict(
        files={'a.ENH': enh(min_version='V1.30', rule='recommended')},
        boxes=[(TextNo.kRecordWritten, OUTCOME), (TextNo.kVersionRecommended, WARNING)],
        record=merged('3fffffffffffff0f')),
    'refused_by_transceiver': dict(
        files={'a.ENH': enh(min_version='V1.30', rule='recommended')}, radio={'write': 'nak'},
        boxes=[(TextNo.kRecordRefused, OUTCOME)]),
    'strict_version': dict(
        files={'a.ENH': enh(min_version='V1.30')}, boxes=[(TextNo.kVersionRequired, ERROR)], nothing_written=True),
    'refused_model': dict(
        files={'a.ENH': enh(model='QM-3390X')}, radio={'model': 'QM-3390X'},
        boxes=[(TextNo.kRefusedModel, ERROR)], identity_only=True),
    'no_file_for_model': dict(
        files={'a.ENH': enh(model='QX-5200')}, boxes=[(TextNo.kNoOptionForTransceiver, ERROR)],
        identity_only=True),
    'no_entry_for_code': dict(
        files={'a.ENH': enh(entries=[('00000999', 3, '0000000000000000')])},
        boxes=[(TextNo.kNoOptionForTransceiver, ERROR)]),
    'option_type_differs': dict(
        files={'a.ENH': enh(entries=[('00000102', 5, '0000000000000000')])},
        boxes=[(TextNo.kNoOptionForTransceiver, ERROR)]),
    'two_files_both_anded': dict(
        files={'a.ENH': enh(entries=[('00000102', 3, '0fffffff00ffffff')]),
               'b.ENH': enh(entries=[('00000102', 3, '0fffffffff0fff00')])},
        boxes=[(TextNo.kRecordWritten, OUTCOME)], record=merged('3fffffff00ffffff', '3fffffffff0fff00')),
    'file_for_another_model': dict(
        mode=2, files={'x.ENH': enh(model='QX-5200')}, file='x.ENH',
        boxes=[(TextNo.kNoOptionForTransceiver, ERROR)]),
    'file_unreadable': dict(
        # A folder by the file's name: it exists, but cannot be read as a file.
        mode=2, files={'x.ENH': 'dir'}, file='x.ENH', boxes=[('file-error', 'Error')]),
    'folder_without_option_files': dict(
        files={'notes.txt': enh()}, boxes=[(TextNo.kNoOptionFileInFolder, WARNING)], browse=True, untouched=True),
    'file_path_empty': dict(mode=2, file='', boxes=[(TextNo.kNoOptionFile, WARNING)], browse=True, untouched=True),
    'file_path_missing': dict(
        mode=2, file='gone.ENH', boxes=[(TextNo.kNoOptionFile, WARNING)], browse=True, untouched=True),
    'port_does_not_exist': dict(
        files={'a.ENH': enh()}, port=7, boxes=[(TextNo.kPortNotOpened, ERROR)], buttons=[IDOK], untouched=True),
    'silent_transceiver_cancel': dict(
        files={'a.ENH': enh()}, radio={'silent_after': 0}, answers=[IDCANCEL], boxes=[(TextNo.kLinkFailed, ERROR)],
        buttons=[IDRETRY, IDCANCEL]),
}


def enhtool():
    return os.path.join(native_build_dir(), 'tools', 'enhtool', 'enhtool')


class UpgradeRuns(OrvelleTestCase):
    def make_files(self, folder, files):
        os.makedirs(folder, exist_ok=True)
        for name, description in files.items():
            path = os.path.join(folder, name)
            if description == 'dir':
                os.makedirs(path)
                continue
            subprocess.run([enhtool(), 'make', '-', path], input=description.encode(), check=True)

    def wait_idle(self, app, timeout=60.0):
        """The run is over once the caption is the program's title again."""
        self.drv.wait_until(lambda: app.caption() == self.lng[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE),
                            timeout=timeout, what='the dialog unlocked')

    def run_case(self, name, case):
        mode = case.get('mode', 1)
        app = self.app(ini={'File': '', 'ComPort': str(case.get('port', PORT)), 'Mode': str(mode)})
        self.make_files(app.data_dir, case.get('files', {}))
        file_path = case.get('file')
        if file_path is not None:
            app.write_ini({'File': app.windows_path('Data', file_path) if file_path else '',
                           'ComPort': str(case.get('port', PORT)), 'Mode': str(mode)})
        settings = dict(model=MODEL, version='V1.20', record=RECORD)
        settings.update(case.get('radio', {}))
        radio = self.radiosim(PORT, workdir=os.path.join(app.folder, 'radiosim'), **settings)
        app.start(env=radio.wine_env(self.session.env))

        self.drv.click(app.hwnd, Res.IDC_UPGRADE)
        answers = list(case.get('answers', []))
        for i, (body, caption) in enumerate(case['boxes']):
            box = app.message_box(timeout_ms=30000)
            if i == 0:
                self.session.screenshot('upgrade-%s' % name)
            if body == 'file-error':
                self.assertIn(os.path.basename(case['file']), box.text)
            else:
                self.assertTrue(same_text(box.text, self.lng[body]), '%s: box %d is %r' % (name, i, box.text))
            self.assertEqual(box.caption, caption if isinstance(caption, str) else self.lng[caption])
            if 'buttons' in case:
                self.assertEqual([b['id'] for b in box.buttons], case['buttons'])
            self.drv.press(box, answers.pop(0) if answers else IDOK)

        if case.get('browse'):
            # Browse opens by itself once the handler has returned.
            picker = self.drv.wait_until(lambda: self.other_window(app), timeout=10, what='the Browse dialog')
            self.drv.click(picker, IDCANCEL)
            self.drv.wait_gone(picker)
        self.wait_idle(app)
        time.sleep(0.3)
        self.assertTrue(app.no_message_box(), '%s: a message box too many' % name)
        for control in CONTROLS:
            self.assertTrue(app.enabled(control), '%s: control %d disabled' % (name, control))
        app.close()
        radio.stop()

        result = radio.result()
        self.assertEqual(result['final'], case.get('record', RECORD), name)
        if 'record' not in case:
            self.assertFalse(any(answer == 'ack' for _, answer in result['written']), name)
        if case.get('nothing_written') or case.get('untouched'):
            self.assertEqual(result['written'], [], name)
        received = radio.received()
        if case.get('untouched'):
            self.assertNotIn(b'PROGRAM', received, name)
        if case.get('identity_only'):
            after = received[received.index(b'URK') + 3:]
            self.assertNotIn(b'\x50', after, '%s: version asked for' % name)
            self.assertNotIn(b'\x55\x52\xcb', after, '%s: record asked for' % name)
        radio.keep_artifacts('upgrade-%s' % name)

    def other_window(self, app):
        boxes = {b.hwnd for b in self.drv.windows(pid=app.pid, cls='#32770', message_box=True)}
        for w in self.drv.windows(pid=app.pid):
            if w.hwnd != app.hwnd and w.hwnd not in boxes and w.visible:
                return w.hwnd
        return None


def _make_test(name, case):
    def test(self):
        self.run_case(name, case)
    return test


for _name, _case in CASES.items():
    setattr(UpgradeRuns, 'test_' + _name, _make_test(_name, _case))


if __name__ == '__main__':
    run()
