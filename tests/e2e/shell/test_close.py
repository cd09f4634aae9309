"""Closing ORVELLE.exe: every way out asks the close question; only Yes
saves the settings and ends the program."""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text  # noqa: E402
from harness.ui import IDYES, IDNO  # noqa: E402


class CloseQuestion(OrvelleTestCase):
    WAYS = ['esc', 'close', 'exit']  # Esc key, close box (SC_CLOSE), File > Exit

    def check_question(self, box):
        self.assertTrue(same_text(box.text, self.lng[TextNo.kExitQuestion]), box.text)
        self.assertEqual(box.caption, self.lng[TextNo.kCaptionExit])
        self.assertEqual([b['id'] for b in box.buttons], [IDYES, IDNO])
        self.assertTrue(box.icon)

    def test_no_keeps_dialog_and_file(self):
        for way in self.WAYS:
            with self.subTest(way=way):
                app = self.app(ini={'Folder': '', 'File': r'C:\a.ENH', 'ComPort': '4', 'Mode': '2'})
                before = app.read_ini()
                app.start()
                box = app.request_close(way)
                self.check_question(box)
                self.drv.press(box, IDNO)
                self.assertTrue(app.running())
                self.assertTrue(app.info().visible)
                self.assertTrue(app.no_message_box())
                self.assertEqual(app.read_ini(), before)
                # The same question again, and Yes ends it.
                self.assertEqual(app.close(way), 0)
                values = app.ini_values()
                self.assertEqual([k for k, _ in values], ['Folder', 'File', 'ComPort', 'Mode'])
                self.assertEqual(values[0][1].lower(), app.windows_path('Data').lower())
                self.assertEqual(values[1:], [('File', r'C:\a.ENH'), ('ComPort', '4'), ('Mode', '2')])

    def test_yes_saves_and_ends(self):
        for way in self.WAYS:
            with self.subTest(way=way):
                app = self.app()
                app.start()
                box = app.request_close(way)
                self.check_question(box)
                if way == 'esc':
                    self.session.screenshot('shell-close-question', box.rect)
                self.drv.click(box.hwnd, IDYES)
                self.assertEqual(app.wait_exit(), 0)
                self.assertEqual(app.ini_keys(), ['Folder', 'File', 'ComPort', 'Mode'])

    def test_exit_command_of_the_menu_resource(self):
        # The resource's own Exit command posts WM_CLOSE: the same question.
        app = self.app()
        app.start()
        self.drv.command(app.hwnd, Res.ID_FILE_EXIT)
        box = app.message_box()
        self.check_question(box)
        self.drv.press(box, IDNO)
        self.assertTrue(app.running())
        self.assertIsNone(app.read_ini())

    def test_ending_from_outside_saves_nothing(self):
        app = self.app(ini={'Mode': '1'})
        before = app.read_ini()
        app.start()
        self.drv.click(app.hwnd, Res.IDC_FILE_MODE)
        self.drv.wait_until(lambda: app.checked(Res.IDC_FILE_MODE), what='File mode')
        app.kill()
        self.assertEqual(app.read_ini(), before)


if __name__ == '__main__':
    run()
