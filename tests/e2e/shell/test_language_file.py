"""A missing or damaged language file: ORVELLE.exe shows its fixed message
(no owner, caption "Orvelle", stop icon, OK only) and ends before any window
of its own exists, without touching the settings file or the Data folder."""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness.orvelle import TEXT_KEYS, OrvelleTestCase, run  # noqa: E402
from harness.ui import IDOK  # noqa: E402

MISSING = "Can't read language file.  Please install this software again."
DAMAGED = "Language file has been damaged.  Please install this software again."


class LanguageFileProblems(OrvelleTestCase):
    # What lies beside the program as ORVELLE.lng (None: nothing), and the
    # message expected.
    CASES = [
        ('missing', None, MISSING),
        ('empty', b'', DAMAGED),
        ('no language row', b'^#10000001,x\r\n', DAMAGED),
        ('47 numbered rows', None, DAMAGED),
        ('not a text file', bytes(range(256)) * 64, DAMAGED),
    ]

    def shipped_rows(self):
        with open(os.path.join(os.environ['ORVELLE_SOURCE_DIR'], 'res', 'ORVELLE.lng'), 'rb') as f:
            return f.read().splitlines(keepends=True)

    def test_fixed_message_and_no_window(self):
        for name, content, message in self.CASES:
            with self.subTest(name):
                app = self.app(ini={'Mode': '2', 'ComPort': '3'})
                ini_before = app.read_ini()
                lng = os.path.join(app.folder, 'ORVELLE.lng')
                if name == 'missing':
                    os.remove(lng)
                elif name == '47 numbered rows':
                    # The last of the rows every language file holds (texts
                    # added since may be missing without harm).
                    rows = self.shipped_rows()
                    required = [b'^#%08d,' % key for key in TEXT_KEYS]
                    last = max(i for i, row in enumerate(rows) if row.startswith(tuple(required)))
                    with open(lng, 'wb') as f:
                        f.write(b''.join(rows[:last] + rows[last + 1:]))
                else:
                    with open(lng, 'wb') as f:
                        f.write(content)

                box = app.start(expect_box=True)
                self.assertEqual(box.caption, 'Orvelle')
                self.assertEqual(box.text, message)
                self.assertEqual(box.owner, 0, 'the message has no owner window')
                self.assertTrue(box.icon)
                self.assertEqual([b['id'] for b in box.buttons], [IDOK])
                self.assertIsNone(app._find_main(), 'a window of the program exists')
                if name == 'missing':
                    self.session.screenshot('shell-language-file-missing', box.rect)
                self.drv.press(box, IDOK)
                self.assertEqual(app.wait_exit(), 0)
                self.assertEqual(app.read_ini(), ini_before, 'settings file touched')
                self.assertFalse(os.path.exists(app.data_dir), 'Data folder created')


if __name__ == '__main__':
    run()
