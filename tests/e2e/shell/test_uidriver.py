"""The UI driver on its own test dialog (tools/uidriver/testapp), so a fault
of the driver or of the Wine set-up shows here and not as a puzzling failure
of a program test."""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness.ids import read_defines, source_path  # noqa: E402
from harness.orvelle import WineTestCase, run, windows_path  # noqa: E402
from harness.ui import DriverError, IDOK, IDCANCEL, IDYES, IDNO, VK_RETURN, VK_ESCAPE  # noqa: E402

# The test dialog's ids.
Test = read_defines(source_path('tools', 'uidriver', 'testapp', 'resource.h'))
PATH, BROWSE, UPGRADE, FOLDER, FILE = Test.IDC_PATH, Test.IDC_BROWSE, Test.IDC_UPGRADE, Test.IDC_FOLDER, Test.IDC_FILE


class Driver(WineTestCase):
    NEEDS_PROGRAM = False

    def setUp(self):
        super().setUp()
        testapp = os.environ.get('ORVELLE_UIDRIVER_TESTAPP')
        if not testapp or not os.path.exists(testapp):
            self.skipTest('uidriver_testapp not built')
        self.pid = self.drv.start(windows_path(testapp))
        self.addCleanup(self.drv.kill, self.pid)
        self.dlg = self.drv.wait_window(pid=self.pid, cls='#32770', caption='Driver Test')

    def test_controls_menu_and_focus(self):
        info = self.drv.info(self.dlg.hwnd)
        self.assertEqual([c['id'] for c in info.children],
                         [Test.IDC_GROUP, FOLDER, FILE, Test.IDC_LABEL, PATH, BROWSE, UPGRADE])
        self.assertTrue(info.child(FOLDER)['checked'])
        menu = self.drv.menu(self.dlg.hwnd)['bar']
        self.assertEqual([i['text'] for i in menu], ['&File', '&Setup', '&About'])
        self.assertEqual(menu[1]['items'][0]['id'], Test.IDM_COMPORT)
        self.assertTrue(menu[1]['items'][0]['grayed'])

        self.assertIn(self.drv.focus(self.dlg.hwnd, PATH), ('attach', 'click', 'already'))
        self.drv.chars(self.dlg.hwnd, PATH, text='C:\\a b.c')
        self.assertEqual(self.drv.text(self.dlg.hwnd, PATH), 'C:\\a b.c')
        # Enter becomes a Tab synthesised inside the program: this needs the
        # dialog to be the foreground window of the X display.
        self.drv.key(self.dlg.hwnd, VK_RETURN, control_id=PATH)
        self.drv.wait_until(lambda: self.drv.focus_id(self.dlg.hwnd) == BROWSE, what='focus on Browse')

        self.drv.click(self.dlg.hwnd, FILE)
        self.drv.wait_until(lambda: self.drv.checked(self.dlg.hwnd, FILE), what='File checked')
        self.assertFalse(self.drv.checked(self.dlg.hwnd, FOLDER))
        self.drv.command(self.dlg.hwnd, Test.IDM_ABOUT)
        self.drv.wait_until(lambda: self.drv.text(self.dlg.hwnd) == 'Driver Test - About', what='caption')

    def test_message_boxes_and_exit(self):
        self.drv.click(self.dlg.hwnd, UPGRADE)
        box = self.drv.wait_message_box(self.pid, owner=self.dlg.hwnd)
        self.assertEqual((box.caption, box.text), ('Information', 'Upgrade pressed'))
        self.assertEqual([b['id'] for b in box.buttons], [IDOK])
        self.drv.press(box, IDOK)

        self.drv.key(self.dlg.hwnd, VK_ESCAPE)
        box = self.drv.wait_message_box(self.pid)
        self.assertEqual([b['id'] for b in box.buttons], [IDYES, IDNO])
        self.drv.press(box, IDNO)
        self.assertIsNone(self.drv.wait_exit(self.pid, timeout_ms=100))
        self.drv.command(self.dlg.hwnd, IDCANCEL)
        self.drv.press(self.drv.wait_message_box(self.pid), IDYES)
        self.assertEqual(self.drv.wait_exit(self.pid), 0)

    def test_failures_answer_instead_of_hanging(self):
        with self.assertRaises(DriverError):
            self.drv.text(0x7FFF0000)
        with self.assertRaises(DriverError):
            self.drv.wait_message_box(self.pid, timeout_ms=200)
        with self.assertRaises(DriverError):
            self.drv.call('no-such-command')
        with self.assertRaises(DriverError):
            self.drv.tree_selection(self.dlg.hwnd, PATH)  # an edit, not a tree view
        self.assertEqual(self.drv.text(self.dlg.hwnd), 'Driver Test')  # still answering


if __name__ == '__main__':
    run()
