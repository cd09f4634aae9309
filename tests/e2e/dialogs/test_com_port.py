"""The COM port dialog: the port scan over real Wine COM ports (two ptys from
radiosim, every other port a socket that fails to open), OK and Cancel, and
the port setting written at the confirmed close."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run  # noqa: E402
from harness.ui import IDOK, IDCANCEL  # noqa: E402

PRESENT = (1, 3)


def button(port):
    return Res.IDC_COMPORT_COM1 - 1 + port


class ComPortDialog(OrvelleTestCase):
    def setUp(self):
        super().setUp()
        self.radios = [self.radiosim(port, workdir=os.path.join(self.work_root, 'radiosim-com%d' % port))
                       for port in PRESENT]
        # The pty shim lets the port's modem-line calls succeed on a pty.
        self.env = self.radios[0].wine_env(base=self.session.env)

    def start(self, port):
        app = self.app(ini={'Folder': '', 'File': '', 'ComPort': str(port), 'Mode': '1'})
        app.start(env=self.env)
        return app

    def open_dialog(self, app):
        self.drv.command(app.hwnd, Res.ID_SETUP_COMPORT)
        # The dialog shows once the scan (over a second) has finished.
        return self.drv.wait_window(pid=app.pid, cls='#32770', owner=app.hwnd, timeout_ms=30000)

    def ports(self, dialog):
        """{port: (enabled, checked)} as the dialog shows them."""
        info = self.drv.info(dialog.hwnd)
        return {p: (info.child(button(p))['enabled'], info.child(button(p)).get('checked'))
                for p in range(1, 21)}

    def finish(self, dialog, button_id):
        self.drv.click(dialog.hwnd, button_id)
        self.drv.wait_gone(dialog.hwnd)

    def test_scan_and_ok_on_another_port(self):
        app = self.start(3)
        dialog = self.open_dialog(app)
        self.session.screenshot('dialogs-com-port', dialog.rect)

        info = self.drv.info(dialog.hwnd)
        self.assertEqual(info.caption, self.lng[TextNo.kComPortCaption])
        self.assertEqual(info.child(Res.IDC_COMPORT_GROUP)['text'], self.lng[TextNo.kComPortGroup])
        self.assertEqual(info.child(IDOK)['text'], self.lng[TextNo.kOkButton])
        self.assertEqual(info.child(IDCANCEL)['text'], self.lng[TextNo.kCancelButton])
        self.assertEqual([info.child(button(p))['text'] for p in range(1, 21)],
                         ['COM%d' % p for p in range(1, 21)])
        self.assertFalse(app.enabled(), 'the main dialog is not disabled while the dialog is open')

        shown = self.ports(dialog)
        self.assertEqual({p for p, (enabled, _) in shown.items() if enabled}, set(PRESENT))
        self.assertEqual({p for p, (_, checked) in shown.items() if checked}, {3})

        self.drv.click(dialog.hwnd, button(1))
        self.drv.wait_until(lambda: self.drv.checked(dialog.hwnd, button(1)), what='COM1 checked')
        self.assertFalse(self.drv.checked(dialog.hwnd, button(3)))
        self.finish(dialog, IDOK)

        self.assertTrue(app.enabled())
        self.assertEqual(app.ini('ComPort'), '3', 'the setting is written only at the confirmed close')
        # The link now uses COM1: the dialog opens on it.
        dialog = self.open_dialog(app)
        self.assertEqual({p for p, (_, checked) in self.ports(dialog).items() if checked}, {1})
        self.finish(dialog, IDCANCEL)
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini('ComPort'), '1')

    def test_cancel_keeps_the_saved_port(self):
        app = self.start(3)
        dialog = self.open_dialog(app)
        self.drv.click(dialog.hwnd, button(1))
        self.drv.wait_until(lambda: self.drv.checked(dialog.hwnd, button(1)), what='COM1 checked')
        self.finish(dialog, IDCANCEL)

        dialog = self.open_dialog(app)
        self.assertEqual({p for p, (_, checked) in self.ports(dialog).items() if checked}, {3})
        self.finish(dialog, IDCANCEL)
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini('ComPort'), '3')

    def test_saved_port_outside_the_dialog(self):
        app = self.start(21)
        dialog = self.open_dialog(app)
        shown = self.ports(dialog)
        self.assertEqual({p for p, (enabled, _) in shown.items() if enabled}, set(PRESENT))
        self.assertEqual({p for p, (_, checked) in shown.items() if checked}, set())
        self.finish(dialog, IDOK)
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini('ComPort'), '21')


if __name__ == '__main__':
    run()
