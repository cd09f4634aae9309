"""The COM port dialog: the port scan over real Wine COM ports (two ptys from
radiosim, every other port a socket that fails to open), OK and Cancel, and
the port setting written at the confirmed close; a port above COM20 chosen
from the drop-down list and upgraded."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text  # noqa: E402
from harness.sample import SAMPLE_RADIO, enh, make_files, merged  # noqa: E402
from harness.ui import IDOK, IDCANCEL  # noqa: E402

PRESENT = (1, 3)
# A programming cable on a port above COM20, as Windows often numbers them.
HIGH_PORT = 23
# Every port the test prefix maps is in Wine's port list (SERIALCOMM).
MAPPED = range(1, 33)
VK_DOWN = 0x28


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

    def test_a_port_above_twenty_is_chosen_from_the_list_and_upgraded(self):
        radio = self.radiosim(HIGH_PORT, workdir=os.path.join(self.work_root, 'radiosim-com%d' % HIGH_PORT),
                              **SAMPLE_RADIO)
        app = self.app(ini={'File': '', 'ComPort': '3', 'Mode': '1'})
        make_files(app.data_dir, {'a.ENH': enh()})
        app.start(env=self.env)

        dialog = self.open_dialog(app)
        info = self.drv.info(dialog.hwnd)
        self.assertEqual(info.child(Res.IDC_MORE_PORTS_LABEL)['text'], self.lng[TextNo.kMorePortsLabel])
        items, selected = self.drv.combo_items(dialog.hwnd, Res.IDC_MORE_PORTS)
        # Wine has no device names: each port by its number alone, in order.
        numbers = [int(item[3:]) for item in items]
        self.assertEqual(items, ['COM%d' % n for n in numbers])
        self.assertEqual(numbers, sorted(numbers))
        self.assertEqual([n for n in numbers if n in MAPPED], [n for n in MAPPED if n > 20])
        self.assertEqual(selected, -1)
        self.assertEqual({p for p, (_, checked) in self.ports(dialog).items() if checked}, {3})
        self.assertEqual(info.child(Res.IDC_PORT_NAME)['text'], '')

        # Down the list with the keyboard to COM23: the buttons give up the choice.
        wanted = items.index('COM%d' % HIGH_PORT)
        for index in range(wanted + 1):
            self.drv.key(dialog.hwnd, VK_DOWN, control_id=Res.IDC_MORE_PORTS)
            self.drv.wait_until(lambda: self.drv.combo_items(dialog.hwnd, Res.IDC_MORE_PORTS)[1] == index,
                                what='list entry %d chosen' % index)
        self.drv.wait_until(lambda: not any(checked for _, checked in self.ports(dialog).values()),
                            what='the buttons unchecked')
        self.session.screenshot('dialogs-com-port-more', dialog.rect)
        self.finish(dialog, IDOK)

        # The dialog opens on the port the link now uses, in the list.
        dialog = self.open_dialog(app)
        items, selected = self.drv.combo_items(dialog.hwnd, Res.IDC_MORE_PORTS)
        self.assertEqual(items[selected], 'COM%d' % HIGH_PORT)
        self.finish(dialog, IDCANCEL)

        self.drv.click(app.hwnd, Res.IDC_UPGRADE)
        box = app.message_box(timeout_ms=30000)
        self.assertTrue(same_text(box.text, self.lng[TextNo.kRecordWritten]), box.text)
        self.drv.press(box, IDOK)
        self.drv.wait_until(lambda: app.enabled(Res.IDC_UPGRADE), timeout=30, what='the run over')
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini('ComPort'), str(HIGH_PORT))
        radio.stop()
        self.assertEqual(radio.result()['final'], merged('3fffffffffffff0f'))


if __name__ == '__main__':
    run()
