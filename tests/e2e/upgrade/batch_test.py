"""Setup > Upgrade radio after radio: ORVELLE.exe under Wine, its COM1 a pty
whose other end is radiosim playing two radios one after the other, driven
through the program's windows. Each radio gets its row in the dialog's list
while the main dialog stays locked; once stopped, the report is saved
through the save dialog and holds one line per radio.
"""

import csv
import io
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.ids import Field, Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run  # noqa: E402
from harness.sample import MODEL, PORT, SAMPLE_RADIO, enh, make_files, merged  # noqa: E402
from harness.ui import IDOK, IDCANCEL, IDYES  # noqa: E402

# The save dialog's file-name box.
FILE_NAME_BOX = 0x47c

# Each radio leaves once its upgrade has read its identity: the PC then
# finds it gone and waits for the next.
RADIOS = [dict(identity_rest='SN-0001', leave='sessions:1'),
          dict(identity_rest='SN-0002', leave='sessions:1', write='nak')]


def label(rest):
    """A radio's identity as its label reads: the model name's field, its
    zero bytes as spaces, then the rest."""
    return MODEL.ljust(Field.kModelNameSize) + rest


class Batch(OrvelleTestCase):
    def test_two_radios_get_their_rows_and_the_saved_report(self):
        app = self.app(ini={'File': '', 'ComPort': str(PORT), 'Mode': '1'})
        make_files(app.data_dir, {'a.ENH': enh()})
        radio = self.radiosim(PORT, workdir=os.path.join(app.folder, 'radiosim'), radios=RADIOS, **SAMPLE_RADIO)
        app.start(env=radio.wine_env(self.session.env))

        setup = app.menu()['bar'][1]['items']
        self.assertEqual((setup[2]['text'], setup[2]['id'], setup[2]['enabled']),
                         (self.lng[TextNo.kBatchItem], Res.ID_SETUP_BATCH, True))
        self.drv.command(app.hwnd, Res.ID_SETUP_BATCH)
        dialog = app.wait_dialog(caption=self.lng[TextNo.kBatchCaption], timeout=15.0)
        batch = dialog.hwnd
        # The main dialog is locked while the batch dialog is open.
        self.assertFalse(app.enabled(Res.IDC_UPGRADE))
        buttons = (Res.IDC_BATCH_STOP, Res.IDC_BATCH_SAVE, IDCANCEL)
        self.assertEqual([c['text'] for c in dialog.children if c['id'] in buttons],
                         [self.lng[TextNo.kBatchStop], self.lng[TextNo.kBatchSaveReport],
                          self.lng[TextNo.kBatchClose]])

        # Both radios came and went (radiosim's log says so, without asking
        # the program while it is busy on the line); then Stop.
        self.drv.wait_until(lambda: any(e.startswith('radio 2 goes') for e in radio.events()), timeout=120.0,
                            what='the second radio gone')
        self.assertFalse(self.drv.enabled(batch, IDCANCEL))
        self.assertFalse(self.drv.enabled(batch, Res.IDC_BATCH_SAVE))
        self.assertTrue(app.no_message_box(), 'no box during the batch')
        self.drv.click(batch, Res.IDC_BATCH_STOP)
        self.drv.wait_until(lambda: self.drv.enabled(batch, IDCANCEL), timeout=30.0, what='the batch stopped')
        self.assertFalse(self.drv.enabled(batch, Res.IDC_BATCH_STOP))
        self.assertEqual(self.drv.text(batch, Res.IDC_BATCH_STATUS),
                         self.lng[TextNo.kBatchStopped].replace('%1', '2'))
        self.session.screenshot('batch-two-rows', self.drv.info(batch).rect)

        headings, cells = self.drv.list_items(batch, Res.IDC_BATCH_LIST)
        self.assertEqual(headings, [self.lng[n] for n in (
            TextNo.kBatchColumnNumber, TextNo.kBatchColumnModel, TextNo.kBatchColumnIdentity,
            TextNo.kBatchColumnBefore, TextNo.kBatchColumnAfter, TextNo.kBatchColumnOutcome)])
        # The option bytes in pairs, the one the upgrade changes marked.
        before, after = '3f ff ff ff ff ff ff [ff]', '3f ff ff ff ff ff ff [0f]'
        self.assertEqual([row[:5] for row in cells], [
            ['1', MODEL, label('SN-0001'), before, after],
            ['2', MODEL, label('SN-0002'), before, after],
        ])
        self.assertEqual(cells[0][5], '%s: %s' % (self.lng[TextNo.kBatchWritten], self.lng[TextNo.kRecordWritten]))
        self.assertEqual(cells[1][5], '%s: %s' % (self.lng[TextNo.kBatchFailed], self.lng[TextNo.kRecordRefused]))

        # Save report, and Close.
        report = os.path.join(app.folder, 'report.csv')
        with open(report, 'w') as f:
            f.write('an older report\n')
        self.drv.click(batch, Res.IDC_BATCH_SAVE)
        save = self.drv.wait_window(pid=app.pid, cls='#32770', owner=batch, timeout_ms=15000)
        self.drv.wait_until(lambda: self.drv.info(save.hwnd).visible, timeout=10.0, what='the save dialog')
        self.drv.set_text(save.hwnd, app.windows_path('report.csv'), FILE_NAME_BOX)
        self.drv.click(save.hwnd, IDOK)
        # Replacing the older file asks first.
        box = app.message_box(timeout_ms=10000)
        self.drv.press(box, IDYES)
        self.drv.wait_until(lambda: not open(report, 'rb').read().startswith(b'an older'), timeout=10.0,
                            what='the report saved')
        with open(report, 'rb') as f:
            content = f.read().decode('cp1252')
        self.assertTrue(content.endswith('\r\n'))
        lines = list(csv.reader(io.StringIO(content.replace('\r\n', '\n'))))
        self.assertEqual(lines[0][:4], ['number', 'time', 'port', 'model'])
        by_column = [dict(zip(lines[0], line)) for line in lines[1:]]
        self.assertEqual([(r['number'], r['port'], r['model'], r['identity_text'], r['outcome']) for r in by_column],
                         [('1', str(PORT), MODEL, label('SN-0001'), 'written'),
                          ('2', str(PORT), MODEL, label('SN-0002'), 'refused')])
        self.assertEqual(by_column[0]['record_after'], merged('3fffffffffffff0f').hex())
        self.assertFalse(os.path.exists(report + '.part'))

        self.drv.click(batch, IDCANCEL)
        self.drv.wait_gone(batch)
        self.drv.wait_until(lambda: app.enabled(Res.IDC_UPGRADE), timeout=10.0, what='the main dialog unlocked')
        self.assertEqual(app.caption(), self.lng[TextNo.kAppTitle])
        app.close()
        radio.stop()
        result = radio.result()['radios']
        self.assertEqual(result[1]['final'], merged('3fffffffffffff0f'))
        self.assertEqual([answer for _, answer in result[2]['written']], ['nak'])


if __name__ == '__main__':
    run()
