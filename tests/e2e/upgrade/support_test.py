"""File > Save support file...: ORVELLE.exe under Wine after an upgrade against
radiosim, driven through its windows. The file goes beside the program under
History, a box tells its path, and it holds the dialog's own location (also
one not saved yet), the history's rows and the last run's line; a History
folder that cannot take it gives a box that says so.
"""

import os
import re
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text  # noqa: E402
from harness.sample import MODEL, PORT, SAMPLE_RADIO, enh, make_files  # noqa: E402
from harness.supportfile import SUPPORT_PARTS, support_parts  # noqa: E402
from harness.ui import IDOK  # noqa: E402


class SupportFile(OrvelleTestCase):
    def wait_idle(self, app, timeout=60.0):
        self.drv.wait_until(lambda: app.caption() == self.lng[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE),
                            timeout=timeout, what='the dialog unlocked')

    def save(self, app):
        """File > Save support file...: its box, closed; returns (text, caption)."""
        self.drv.command(app.hwnd, Res.ID_FILE_SUPPORT)
        box = app.message_box(timeout_ms=30000)
        self.assertEqual([b['id'] for b in box.buttons], [IDOK])
        text, caption = box.text, box.caption
        self.drv.press(box, IDOK)
        self.drv.wait_until(app.settled_no_message_box, what='the box closed')
        return text.replace('\r\n', '\n'), caption

    def test_after_an_upgrade(self):
        app = self.app(ini={'File': '', 'ComPort': str(PORT), 'Mode': '1'})
        make_files(app.data_dir, {'a.ENH': enh()})
        radio = self.radiosim(PORT, workdir=os.path.join(app.folder, 'radiosim'), **SAMPLE_RADIO)
        app.start(env=radio.wine_env(self.session.env))
        file_menu = app.menu()['bar'][0]['items']
        self.assertEqual([(i['text'], i['id'], i['enabled']) for i in file_menu][1],
                         (self.lng[TextNo.kSupportFileItem], Res.ID_FILE_SUPPORT, True))

        self.drv.click(app.hwnd, Res.IDC_UPGRADE)
        box = app.message_box(timeout_ms=30000)
        self.assertTrue(same_text(box.text, self.lng[TextNo.kRecordWritten]), box.text)
        self.drv.press(box, IDOK)
        self.wait_idle(app)
        # File mode chosen, not saved yet: the support file shows what the
        # dialog holds now.
        self.drv.click(app.hwnd, Res.IDC_FILE_MODE)

        text, caption = self.save(app)
        self.assertEqual(caption, self.lng[TextNo.kCaptionOutcome])
        before, after = self.lng[TextNo.kSupportFileSaved].replace('\r\n', '\n').split('%1')
        self.assertTrue(text.startswith(before) and text.endswith(after), text)
        path = text[len(before):len(text) - len(after)]
        self.assertRegex(path, r'^' + re.escape(app.windows_path('History')) + r'\\support-\d{8}-\d{6}\.txt$')
        parts = support_parts(os.path.join(app.folder, 'History', path.split('\\')[-1]))
        self.assertEqual(list(parts), SUPPORT_PARTS)
        self.assertIn('program: ORVELLE.exe', parts['Program'])
        self.assertTrue(any(l.startswith('console code page: ') for l in parts['Program']), parts['Program'])
        self.assertEqual(parts['Language file'], ['file: ' + app.windows_path('ORVELLE.lng'), 'language: English'])
        self.assertIn('ComPort=%d' % PORT, parts['Settings'])
        self.assertEqual(parts['Option location'][:2], ['mode: File', 'file: (none)'])
        self.assertEqual([l.rsplit(',', 1)[1] for l in parts['History'][3:]], ['pending', 'written'])
        self.assertIn(',ORVELLE,%d,%s,' % (PORT, MODEL), parts['History'][-1])
        events = [l.split(None, 1)[1] for l in parts["Last run's byte trace"][2:]]
        self.assertIn('step write', events)
        self.assertEqual(events[-1], 'close')

        # Back in Folder mode, its option file read.
        self.drv.click(app.hwnd, Res.IDC_FOLDER_MODE)
        text, _ = self.save(app)
        parts = support_parts(os.path.join(app.folder, 'History', text[len(before):len(text) - len(after)]
                                           .split('\\')[-1]))
        self.assertEqual(parts['Option location'][0], 'mode: Folder')
        self.assertRegex(parts['Option location'][2], r'^a\.ENH  \d+ bytes  model %s  option codes 00000102$' % MODEL)
        self.assertEqual(app.close(), 0)
        radio.stop()

    def test_a_history_folder_that_cannot_be_made(self):
        # A file where the History folder would be: a box that says why, and
        # the dialog goes on as before.
        app = self.app(ini={'ComPort': str(PORT), 'Mode': '1'})
        make_files(app.data_dir, {'a.ENH': enh()})
        with open(os.path.join(app.folder, 'History'), 'wb') as f:
            f.write(b'not a folder')
        app.start()
        text, caption = self.save(app)
        self.assertEqual(caption, self.lng[TextNo.kCaptionError])
        before = self.lng[TextNo.kSupportFileNotSaved].replace('\r\n', '\n').split('%1')[0]
        self.assertTrue(text.startswith(before + app.windows_path('History')), text)
        self.assertRegex(text, r': .+ \(error \d+\)$')
        self.assertTrue(app.enabled(Res.IDC_UPGRADE))
        self.assertEqual(app.close(), 0)


if __name__ == '__main__':
    run()
