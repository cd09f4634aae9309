"""End-to-end upgrade runs: ORVELLE.exe under Wine, its COM1 a pty whose
other end is radiosim, driven through its windows. One table row per case:
the option files (made with enhtool), the radio, the answers given at the
message boxes, and what must be seen and left on the radio afterwards.
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text  # noqa: E402
from harness.sample import PORT, RECORD, SAMPLE_RADIO, enh, make_files, merged  # noqa: E402
from harness.ui import IDOK, IDCANCEL, IDRETRY  # noqa: E402

CONTROLS = (Res.IDC_MODE_GROUP, Res.IDC_FOLDER_MODE, Res.IDC_FILE_MODE, Res.IDC_BROWSE, Res.IDC_UPGRADE,
            Res.IDC_PATH_EDIT)
OUTCOME, WARNING, ERROR = TextNo.kCaptionOutcome, TextNo.kCaptionWarning, TextNo.kCaptionError


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


class UpgradeRuns(OrvelleTestCase):
    def wait_idle(self, app, timeout=60.0):
        """The run is over once the caption is the program's title again."""
        self.drv.wait_until(lambda: app.caption() == self.lng[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE),
                            timeout=timeout, what='the dialog unlocked')

    def run_case(self, name, case):
        mode = case.get('mode', 1)
        app = self.app(ini={'File': '', 'ComPort': str(case.get('port', PORT)), 'Mode': str(mode)})
        make_files(app.data_dir, case.get('files', {}))
        file_path = case.get('file')
        if file_path is not None:
            app.write_ini({'File': app.windows_path('Data', file_path) if file_path else '',
                           'ComPort': str(case.get('port', PORT)), 'Mode': str(mode)})
        settings = dict(SAMPLE_RADIO)
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
            picker = self.drv.wait_until(app.other_window, timeout=10, what='the Browse dialog')
            self.drv.click(picker, IDCANCEL)
            self.drv.wait_gone(picker)
        self.wait_idle(app)
        self.assertTrue(app.settled_no_message_box(), '%s: a message box too many' % name)
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


def _make_test(name, case):
    def test(self):
        self.run_case(name, case)
    return test


for _name, _case in CASES.items():
    setattr(UpgradeRuns, 'test_' + _name, _make_test(_name, _case))


if __name__ == '__main__':
    run()
