"""Setup > Preview upgrade and History\\last-run.trace: ORVELLE.exe under Wine,
its COM1 a pty whose other end is radiosim, driven through its windows. The
preview shows what an upgrade would write and writes nothing; every run of
the dialog leaves the line of that run beside the program, also a run that
failed.
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text  # noqa: E402
from harness.sample import MODEL, PORT, RECORD, SAMPLE_RADIO, enh, make_files, merged  # noqa: E402
from harness.ui import IDOK, IDCANCEL  # noqa: E402

WRITE_FRAME = b'UW\xcb'
CHANGES_NOTHING = enh(entries=(('00000102', 3, 'ffffffffffffffff'),))

# name: mode (1 folder, 2 file), option files, what the box says (the
# preview's lines, the option bytes of RECORD now and after in pairs with the
# changed ones marked, or a run's own message and caption), the history row.
CASES = {
    'planned_in_folder_mode': dict(
        mode=1, files={'a.ENH': enh()}, now='3f ff ff ff ff ff ff [ff]', after='3f ff ff ff ff ff ff [0f]',
        row='planned'),
    'unchanged_in_file_mode': dict(
        mode=2, files={'a.ENH': CHANGES_NOTHING}, now='3f ff ff ff ff ff ff ff', after='3f ff ff ff ff ff ff ff',
        unchanged=True, row='unchanged'),
    'version_required': dict(
        mode=1, files={'a.ENH': enh(min_version='V1.30')}, message=(TextNo.kVersionRequired, TextNo.kCaptionError),
        row='not-upgraded'),
    'refused_model': dict(
        mode=1, files={'a.ENH': enh(model='QM-3390X')}, radio={'model': 'QM-3390X'},
        message=(TextNo.kRefusedModel, TextNo.kCaptionError), row=None),
}


def read_trace(folder):
    """The events of History\\last-run.trace (time stamps dropped); None
    when there is no file."""
    path = os.path.join(folder, 'History', 'last-run.trace')
    if not os.path.exists(path):
        return None
    with open(path, 'rb') as f:
        text = f.read().decode('cp1252').replace('\r\n', '\n')
    return [line.split(None, 1)[1] for line in text.splitlines()]


def history_outcomes(folder):
    path = os.path.join(folder, 'History', 'upgrades.csv')
    if not os.path.exists(path):
        return []
    with open(path, 'rb') as f:
        lines = f.read().decode('cp1252').splitlines()[1:]
    return [line.rsplit(',', 1)[1] for line in lines]


class Preview(OrvelleTestCase):
    def wait_idle(self, app, timeout=60.0):
        self.drv.wait_until(lambda: app.caption() == self.lng[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE),
                            timeout=timeout, what='the dialog unlocked')

    def start(self, name, mode=1, files=None, **radio_settings):
        app = self.app(ini={'File': '', 'ComPort': str(PORT), 'Mode': str(mode)})
        make_files(app.data_dir, files or {})
        if mode == 2:
            app.write_ini({'File': app.windows_path('Data', 'a.ENH'), 'ComPort': str(PORT), 'Mode': '2'})
        settings = dict(SAMPLE_RADIO)
        settings.update(radio_settings)
        radio = self.radiosim(PORT, workdir=os.path.join(app.folder, 'radiosim-' + name), **settings)
        app.start(env=radio.wine_env(self.session.env))
        return app, radio

    def run_case(self, name, case):
        app, radio = self.start(name, case['mode'], case['files'], **case.get('radio', {}))
        setup = app.menu()['bar'][1]['items']
        self.assertEqual([(i['text'], i['id'], i['enabled']) for i in setup][1],
                         (self.lng[TextNo.kPreviewItem], Res.ID_SETUP_PREVIEW, True))

        self.drv.command(app.hwnd, Res.ID_SETUP_PREVIEW)
        box = app.message_box(timeout_ms=30000)
        self.session.screenshot('preview-%s' % name)
        # Locked as during a run while the box is up.
        self.assertFalse(app.enabled(Res.IDC_UPGRADE), name)
        self.assertNotEqual(app.caption(), self.lng[TextNo.kAppTitle], name)
        if 'message' in case:
            body, caption = case['message']
            self.assertTrue(same_text(box.text, self.lng[body]), '%s: %r' % (name, box.text))
            self.assertEqual(box.caption, self.lng[caption])
        else:
            self.assertEqual(box.caption, self.lng[TextNo.kPreviewCaption])
            lines = box.text.replace('\r\n', '\n').split('\n')
            self.assertIn('%s %s' % (self.lng[TextNo.kPreviewModel], MODEL), lines)
            self.assertEqual(case['now'].replace('[', '').replace(']', '').replace(' ', ''), RECORD[42:].hex())
            self.assertIn('%s %s' % (self.lng[TextNo.kPreviewBytesNow], case['now']), lines)
            self.assertIn('%s %s' % (self.lng[TextNo.kPreviewBytesAfter], case['after']), lines)
            files_at = lines.index(self.lng[TextNo.kPreviewFiles])
            self.assertEqual(lines[files_at + 1], app.windows_path('Data', 'a.ENH'))
            self.assertEqual(lines[-1], self.lng[TextNo.kPreviewNothingWritten])
            self.assertEqual(self.lng[TextNo.kPreviewUnchanged] in lines, case.get('unchanged', False))
        self.assertEqual([b['id'] for b in box.buttons], [IDOK])
        self.drv.press(box, IDOK)
        self.wait_idle(app)
        self.assertTrue(app.settled_no_message_box(), '%s: a message box too many' % name)
        self.assertEqual(app.focus_id(), Res.IDC_UPGRADE)
        app.close()
        radio.stop()
        radio.keep_artifacts('preview-%s' % name)

        # Nothing written, and the run on record.
        received = radio.received(heard_only=False)
        self.assertNotIn(WRITE_FRAME, received, name)
        self.assertEqual(radio.result()['written'], [], name)
        self.assertEqual(radio.result()['final'], RECORD, name)
        self.assertEqual(history_outcomes(app.folder), [case['row']] if case['row'] else [], name)
        events = read_trace(app.folder)
        self.assertIsNotNone(events, '%s: no last-run.trace' % name)
        self.assertIn('tx 55 52 4B  |URK|', events)
        self.assertEqual(events[-1], 'close')

    def test_last_run_trace_is_replaced_at_every_run(self):
        app, radio = self.start('replaced', files={'a.ENH': enh()})
        self.drv.command(app.hwnd, Res.ID_SETUP_PREVIEW)
        self.drv.press(app.message_box(timeout_ms=30000), IDOK)
        self.wait_idle(app)
        self.assertNotIn('tx 55 57 CB', ' '.join(read_trace(app.folder)))

        self.drv.click(app.hwnd, Res.IDC_UPGRADE)
        box = app.message_box(timeout_ms=30000)
        self.assertTrue(same_text(box.text, self.lng[TextNo.kRecordWritten]), box.text)
        self.drv.press(box, IDOK)
        self.wait_idle(app)
        app.close()
        radio.stop()
        self.assertEqual(radio.result()['final'], merged('3fffffffffffff0f'))
        events = read_trace(app.folder)
        # The Upgrade run's line alone: one connection, and its write frame.
        self.assertEqual(sum(e.startswith('open ') for e in events), 1, events)
        self.assertTrue(any(e.startswith('tx 55 57 CB ') for e in events), events)
        traced = b''.join(bytes.fromhex(e[3:].split('  |')[0]) for e in events if e.startswith('tx '))
        self.assertEqual(traced, radio.received(heard_only=False)[-len(traced):])
        self.assertLess(os.path.getsize(os.path.join(app.folder, 'History', 'last-run.trace')), 16384)

    def test_a_failed_run_leaves_its_line(self):
        app, radio = self.start('failed', files={'a.ENH': enh()}, silent_after=0)
        self.drv.click(app.hwnd, Res.IDC_UPGRADE)
        box = app.message_box(timeout_ms=30000)
        self.assertTrue(same_text(box.text, self.lng[TextNo.kLinkFailed]), box.text)
        # On disk while the run still waits for the user.
        events = read_trace(app.folder)
        self.assertIn('tx 46 4C 46 4D 39 36 4B  |FLFM96K|', events)
        self.assertIn('timeout after 100 ms (wanted 1, got 0)', events)
        self.drv.press(box, IDCANCEL)
        self.wait_idle(app)
        app.close()
        radio.stop()
        events = read_trace(app.folder)
        self.assertEqual(events[-1], 'close')
        self.assertFalse(any(e.startswith('rx ') for e in events), 'the radio never answered')


def _make_test(name, case):
    def test(self):
        self.run_case(name, case)
    return test


for _name, _case in CASES.items():
    setattr(Preview, 'test_' + _name, _make_test(_name, _case))


if __name__ == '__main__':
    run()
