"""Browse in Folder mode: the shell's folder browser opens on the folder
path, hands the chosen folder to the path edit and the setting, and Cancel
changes nothing. Each key and button waits for the browser's tree to show
the selection it acts on."""

import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run  # noqa: E402
from harness.ui import IDOK, IDCANCEL  # noqa: E402

BROWSE, EDIT = Res.IDC_BROWSE, Res.IDC_PATH_EDIT
VK_DOWN = 0x28
WS_EX_CONTEXTHELP = 0x400


class FolderPicker(OrvelleTestCase):
    def start(self):
        app = self.app()
        # Two sibling folders: the browser opens on A, and Down moves to B.
        # They lie on drive C: of the prefix, as a user's folders would: Wine's
        # browser cannot select a folder on its Z: drive by path.
        pick = tempfile.mkdtemp(prefix='pick-', dir=os.path.join(self.session.prefix, 'drive_c'))
        self.addCleanup(shutil.rmtree, pick, True)
        for name in ('A', 'B'):
            os.makedirs(os.path.join(pick, name))
        # Wine's browser often fails to select a folder whose directory (or
        # parent) was changed from Linux and not read since; read each once,
        # as any folder a user has been working with has been.
        for folder in (os.path.dirname(pick), pick, os.path.join(pick, 'A'), os.path.join(pick, 'B')):
            os.listdir(folder)
        self.pick = os.path.basename(pick)
        self.folder_a = 'C:\\%s\\A' % self.pick
        self.folder_b = 'C:\\%s\\B' % self.pick
        app.write_ini({'Folder': self.folder_a, 'File': '', 'ComPort': '1', 'Mode': '1'})
        app.start()
        self.assertEqual(app.text(EDIT), self.folder_a)
        return app

    def open_browser(self, app):
        """Browse, once the browser shows folder A selected."""
        self.drv.click(app.hwnd, BROWSE)
        browser = self.drv.wait_window(pid=app.pid, cls='#32770', owner=app.hwnd, timeout_ms=15000)
        info = self.drv.info(browser.hwnd)
        tree = next(c for c in info.children if c['class'] == 'SysTreeView32')['id']
        self.wait_selected(browser, tree, 'A')
        return browser, info, tree

    def wait_selected(self, browser, tree, name):
        """Waits until the browser's tree has folder <name> of the pick
        folder selected."""
        self.drv.wait_until(lambda: self.drv.tree_selection(browser.hwnd, tree)[-2:] == [self.pick, name],
                            timeout=10, what='folder %s selected in the browser' % name)

    def test_opens_on_the_folder_and_returns_the_choice(self):
        app = self.start()
        browser, info, tree = self.open_browser(app)
        self.session.screenshot('dialogs-folder-picker', browser.rect)
        self.assertIn(self.lng[TextNo.kPickerPrompt], [c['text'] for c in info.children])
        self.assertEqual(info.exstyle & WS_EX_CONTEXTHELP, 0)

        # From A, the next folder of the tree is its sibling B.
        self.drv.key(browser.hwnd, VK_DOWN, control_id=tree)
        self.wait_selected(browser, tree, 'B')
        self.drv.click(browser.hwnd, IDOK)
        self.drv.wait_gone(browser.hwnd)

        # The program takes the choice once the browser has returned.
        self.drv.wait_until(lambda: app.text(EDIT) != self.folder_a, timeout=10, what='the path edit to change')
        self.assertEqual(app.text(EDIT).lower(), self.folder_b.lower())
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini('Folder').lower(), self.folder_b.lower())

    def test_cancel_changes_nothing(self):
        app = self.start()
        browser, _, tree = self.open_browser(app)
        self.drv.key(browser.hwnd, VK_DOWN, control_id=tree)
        self.wait_selected(browser, tree, 'B')
        self.drv.click(browser.hwnd, IDCANCEL)
        self.drv.wait_gone(browser.hwnd)

        self.assertEqual(app.text(EDIT), self.folder_a)
        self.assertTrue(app.enabled())
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini('Folder'), self.folder_a)


if __name__ == '__main__':
    run()
