"""The location field of the main dialog: the character filter, the length
limit, Enter moving on like Tab, and the typed path stored under the mode
that was current when the field lost the focus."""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness.ids import Res  # noqa: E402
from harness.orvelle import OrvelleTestCase, run  # noqa: E402
from harness.ui import VK_RETURN, VK_CONTROL  # noqa: E402

FOLDER, FILE, EDIT, BROWSE = Res.IDC_FOLDER_MODE, Res.IDC_FILE_MODE, Res.IDC_PATH_EDIT, Res.IDC_BROWSE
START = 'C:\\abc'


class PathEdit(OrvelleTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.shared = None

    def started(self):
        """One program for the filter cases: they leave it as they found it."""
        if PathEdit.shared is None or not PathEdit.shared.running():
            app = self.app()
            app.start()
            PathEdit.shared = app
        app = PathEdit.shared
        self.drv.set_text(app.hwnd, START, EDIT)
        self.drv.focus(app.hwnd, EDIT)
        self.drv.select(app.hwnd, EDIT)  # typing replaces the whole text
        return app

    def test_discarded_characters(self):
        app = self.started()
        codes = [0x7B, 0x7C, 0x7D, 0x7E, 0x7F, 0x80, 0x81, 0xA0, 0xA9, 0xC4, 0xE9, 0xFF,
                 0x01, 0x09, 0x0D, 0x1B]
        for code in codes:
            with self.subTest(code=hex(code)):
                self.drv.chars(app.hwnd, EDIT, codes=[code])
                self.assertEqual(app.text(EDIT), START)

    def test_clipboard_and_undo_keys_do_nothing(self):
        app = self.started()
        self.drv.clipboard('PASTED')
        # Ctrl+V, Ctrl+X and Ctrl+C on the whole text, then Ctrl+Z after typing.
        self.drv.call('chars', hwnd=app.hwnd, id=EDIT, codes='0x16,0x18,0x03')
        self.assertEqual(app.text(EDIT), START)
        self.assertEqual(self.drv.clipboard(), 'PASTED')
        self.drv.chars(app.hwnd, EDIT, text='d')
        self.drv.chars(app.hwnd, EDIT, codes=[0x1A])
        self.assertEqual(app.text(EDIT), 'd')
        # The same from the keyboard itself (Ctrl+V through the message loop).
        self.drv.input_keys(VK_CONTROL, ord('V'), hwnd=app.hwnd)
        self.drv.sync(app.hwnd, input=True)
        self.assertEqual(app.text(EDIT), 'd')

    def test_path_characters_accepted(self):
        app = self.started()
        path = r'C:\Program Files\Orvelle 2.0\opt-files_(new)\a.b.ENH'
        self.drv.chars(app.hwnd, EDIT, text=path)  # replaces the selected START
        self.assertEqual(app.text(EDIT), path)
        self.drv.chars(app.hwnd, EDIT, codes=[0x08, 0x08])  # backspace works
        self.assertEqual(app.text(EDIT), path[:-2])

    def test_focus_selects_all(self):
        app = self.started()
        self.drv.focus(app.hwnd, BROWSE)
        self.drv.select(app.hwnd, EDIT, 0, 0)
        self.drv.click(app.hwnd, EDIT, mouse=True)
        # Waits for the whole state asserted: the click's own caret and the
        # select-all posted on focus land one after the other.
        def selection():
            state = self.drv.state(app.hwnd, EDIT)
            return state['sel_start'], state['sel_end']
        self.drv.wait_until(lambda: selection() == (0, len(START)), what='the whole text selected')
        self.assertEqual(self.drv.state(app.hwnd, EDIT)['sel_start'], 0)

    def test_261st_character_refused(self):
        app = self.started()
        self.assertEqual(self.drv.state(app.hwnd, EDIT)['limit'], 260)
        self.drv.chars(app.hwnd, EDIT, text='C:\\' + 'a' * 256 + 'XY')
        text = app.text(EDIT)
        self.assertEqual(len(text), 260)
        self.assertTrue(text.endswith('aX'))


class TypedPath(OrvelleTestCase):
    def type_into_edit(self, app, text):
        self.drv.focus(app.hwnd, EDIT)
        self.drv.select(app.hwnd, EDIT)
        self.drv.chars(app.hwnd, EDIT, text=text)  # replaces the selected text

    def test_stored_under_the_old_mode(self):
        # (start mode, its button, the other button, typed path)
        cases = [({'Mode': '1'}, FOLDER, FILE, r'C:\typed folder'),
                 ({'Mode': '2', 'File': r'C:\old.ENH'}, FILE, FOLDER, r'D:\new file.ENH')]
        for ini, mine, other, typed in cases:
            with self.subTest(mode=ini['Mode']):
                app = self.app(ini=ini)
                app.start()
                other_text = r'C:\old.ENH' if other == FILE and 'File' in ini else None
                self.type_into_edit(app, typed)
                self.drv.click(app.hwnd, other)
                self.drv.wait_until(lambda: app.checked(other), what='the other mode')
                self.assertNotEqual(app.text(EDIT), typed)
                if other_text is not None:
                    self.assertEqual(app.text(EDIT), other_text)
                self.drv.click(app.hwnd, mine)
                self.drv.wait_until(lambda: app.checked(mine), what='the first mode again')
                self.assertEqual(app.text(EDIT), typed)
                self.assertEqual(app.close(), 0)
                self.assertEqual(app.ini('Folder' if mine == FOLDER else 'File'), typed)

    def test_enter_moves_focus_and_stores(self):
        app = self.app(ini={'Mode': '1'})
        app.start()
        self.type_into_edit(app, r'C:\entered')
        self.drv.key(app.hwnd, VK_RETURN, control_id=EDIT)
        self.drv.wait_until(lambda: app.focus_id() != EDIT, what='the focus to leave the edit')
        self.assertEqual(app.focus_id(), BROWSE)  # the next tab stop
        self.assertTrue(app.running())
        self.assertTrue(app.no_message_box())
        self.assertEqual(app.text(EDIT), r'C:\entered')
        # Stored on leaving the field: File mode and back shows it again.
        self.drv.click(app.hwnd, FILE)
        self.drv.wait_until(lambda: app.text(EDIT) == '', what='File mode')
        self.drv.click(app.hwnd, FOLDER)
        self.drv.wait_until(lambda: app.text(EDIT) == r'C:\entered', what='the entered folder')
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini('Folder'), r'C:\entered')


if __name__ == '__main__':
    run()
