"""Start-up of ORVELLE.exe: settings read from ORVELLE.ini (and written back
at the confirmed close), the start-up warning, the texts of the main dialog,
and settings files that are damaged or too long."""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text  # noqa: E402
from harness.ui import IDOK, IDCANCEL  # noqa: E402

FOLDER, FILE, EDIT = Res.IDC_FOLDER_MODE, Res.IDC_FILE_MODE, Res.IDC_PATH_EDIT


class NoSettingsFile(OrvelleTestCase):
    def test_defaults_then_four_keys_in_order_at_close(self):
        app = self.app()
        app.start()  # fails on any message box: no warning wanted
        self.assertTrue(os.path.isdir(app.data_dir), 'Data folder not created')
        self.assertTrue(app.checked(FOLDER))
        self.assertFalse(app.checked(FILE))
        self.assertEqual(app.text(EDIT).lower(), app.windows_path('Data').lower())
        self.assertIsNone(app.read_ini(), 'settings written before the close')
        app.screenshot('shell-main-dialog')

        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini_lines()[0].strip(), '[INIT]')
        self.assertEqual(app.ini_keys(), ['Folder', 'File', 'ComPort', 'Mode'])
        values = dict(app.ini_values())
        self.assertEqual(values['Folder'].lower(), app.windows_path('Data').lower())
        self.assertEqual((values['File'], values['ComPort'], values['Mode']), ('', '1', '1'))


class SettingsRead(OrvelleTestCase):
    # ini keys -> checked mode button, edit text, ComPort and Mode written back.
    # The port number reaches the link only through its low 8 bits (0 keeps
    # the link at 1), but the dialog writes back what it read.
    CASES = [
        ({'Mode': '2', 'File': ''}, FILE, '', '1', '2'),
        ({'Mode': '2', 'File': r'C:\options\a.ENH'}, FILE, r'C:\options\a.ENH', '1', '2'),
        ({'Mode': '2abc'}, FILE, '', '1', '2'),
        ({'Mode': '3'}, FOLDER, None, '1', '1'),
        ({'Mode': '0'}, FOLDER, None, '1', '1'),
        ({'Mode': 'x'}, FOLDER, None, '1', '1'),
        ({'Mode': '-1'}, FOLDER, None, '1', '1'),
        ({'ComPort': '12'}, FOLDER, None, '12', '1'),
        ({'ComPort': '21'}, FOLDER, None, '21', '1'),
        ({'ComPort': '0'}, FOLDER, None, '0', '1'),
        ({'ComPort': '256'}, FOLDER, None, '256', '1'),
        ({'ComPort': 'COM3'}, FOLDER, None, '0', '1'),
        ({'ComPort': '7x'}, FOLDER, None, '7', '1'),
    ]

    def test_values_and_write_back(self):
        for ini, button, edit, port, mode in self.CASES:
            with self.subTest(ini=ini):
                app = self.app(ini=ini)
                app.start()
                other = FILE if button == FOLDER else FOLDER
                self.assertTrue(app.checked(button))
                self.assertFalse(app.checked(other))
                if edit is None:  # Folder mode: the default data folder
                    edit = app.windows_path('Data')
                self.assertEqual(app.text(EDIT).lower(), edit.lower())
                self.assertEqual(app.close(), 0)
                self.assertEqual((app.ini('ComPort'), app.ini('Mode')), (port, mode))


class StartupWarning(OrvelleTestCase):
    def test_missing_folder_in_folder_mode_warns(self):
        app = self.app()
        missing = app.windows_path('no such folder')
        app.write_ini({'Folder': missing, 'Mode': '1'})
        box = app.start(expect_box=True)
        self.assertTrue(same_text(box.text, self.lng[TextNo.kNoOptionFileInFolder]), box.text)
        self.assertEqual(box.caption, self.lng[TextNo.kCaptionWarning])
        self.assertEqual([b['id'] for b in box.buttons], [IDOK])
        self.assertTrue(box.icon)
        self.session.screenshot('shell-startup-warning', box.rect)
        self.drv.press(box, IDOK)
        app.wait_main()
        # Nothing changed: the path is shown as read and the program goes on.
        self.assertEqual(app.text(EDIT), missing)
        self.assertTrue(app.checked(FOLDER))
        self.assertTrue(app.no_message_box())

    def test_no_warning(self):
        # An existing folder without option files passes (only Upgrade needs
        # one); File mode never checks the folder.
        for name, make, mode in [('empty folder', True, '1'), ('missing folder, File mode', False, '2')]:
            with self.subTest(name):
                app = self.app()
                folder = os.path.join(app.folder, 'options')
                if make:
                    os.mkdir(folder)
                app.write_ini({'Folder': app.windows_path('options'), 'Mode': mode})
                app.start()
                self.assertTrue(app.no_message_box())


class Texts(OrvelleTestCase):
    CONTROL_TEXTS = {
        Res.IDC_MODE_GROUP: TextNo.kModeGroup,
        Res.IDC_FOLDER_MODE: TextNo.kFolderMode,
        Res.IDC_FILE_MODE: TextNo.kFileMode,
        Res.IDC_LOCATION_LABEL: TextNo.kLocationLabel,
        Res.IDC_BROWSE: TextNo.kBrowseButton,
        Res.IDC_UPGRADE: TextNo.kUpgradeButton,
    }

    def test_every_text_from_the_language_file(self):
        app = self.app()
        app.start()
        info = app.info()
        self.assertEqual(info.caption, self.lng[TextNo.kAppTitle])
        for control_id, number in self.CONTROL_TEXTS.items():
            self.assertEqual(info.child(control_id)['text'], self.lng[number], 'control %d' % control_id)
        for child in info.children:
            self.assertFalse(child['text'].endswith(' *'), child)
            self.assertTrue(child['visible'] and child['enabled'], child)

        menu = app.menu()['bar']
        self.assertEqual([(i['text'], i['id'] if 'items' not in i else None) for i in menu],
                         [(self.lng[TextNo.kFileMenu], None), (self.lng[TextNo.kSetupMenu], None),
                          (self.lng[TextNo.kAboutItem], Res.IDM_ABOUTBOX)])
        file_menu, setup_menu = menu[0]['items'], menu[1]['items']
        # Exit carries the cancel command once the texts are set.
        self.assertEqual([(i['text'], i['id']) for i in file_menu],
                         [(self.lng[TextNo.kExitItem], IDCANCEL),
                          (self.lng[TextNo.kSupportFileItem], Res.ID_FILE_SUPPORT)])
        self.assertEqual([(i['text'], i['id']) for i in setup_menu],
                         [(self.lng[TextNo.kComPortItem], Res.ID_SETUP_COMPORT),
                          (self.lng[TextNo.kPreviewItem], Res.ID_SETUP_PREVIEW),
                          (self.lng[TextNo.kBatchItem], Res.ID_SETUP_BATCH)])
        for item in menu + file_menu + setup_menu:
            self.assertFalse(item['text'].endswith(' *'), item)
            self.assertTrue(item['enabled'], item)
        app.screenshot('shell-main-dialog-texts')


class BadSettingsFile(OrvelleTestCase):
    """Damaged or oversized settings: the program starts, shows the main
    dialog and closes normally; a path cut short on reading is not written
    back shortened."""

    def test_damaged_files_start(self):
        cases = [
            ('binary garbage', bytes(range(256)) * 8),
            ('no section', b'Folder=C:\\x\r\nMode=2\r\n'),
            ('text garbage', b'[INIT\r\n=\r\n==\r\nMode\r\n[INIT]]\r\nComPort=\r\n'),
            ('huge numbers', b'[INIT]\r\nComPort=99999999999999999999\r\nMode=-99999999999999999999\r\n'),
            ('negative port', b'[INIT]\r\nComPort=-5\r\n'),
            ('long garbage line', b'[INIT]\r\nComPort=' + b'9' * 5000 + b'\r\n' + b'x' * 70000 + b'\r\n'),
        ]
        for name, data in cases:
            with self.subTest(name):
                app = self.app(ini=data)
                app.start_past_warnings()
                self.assertTrue(app.checked(FOLDER))  # mode 1 in every case
                self.assertEqual(app.close(), 0)
                self.assertRegex(app.ini('ComPort') or '', r'^-?\d+$')
                self.assertEqual(app.ini('Mode'), '1')

    def test_long_paths_are_kept_whole(self):
        base = 'C:\\' + 'p' * 400
        for key, length, mode in [('Folder', 260, '1'), ('Folder', 300, '1'), ('File', 260, '2'),
                                  ('File', 300, '2')]:
            with self.subTest(key=key, length=length):
                value = base[:length]
                app = self.app(ini={key: value, 'Mode': mode})
                seen = app.start_past_warnings()
                if key == 'Folder':  # it does not exist: the start-up warning
                    self.assertEqual([c for c, _ in seen], [self.lng[TextNo.kCaptionWarning]])
                shown = app.text(EDIT)
                self.assertTrue(value.startswith(shown), shown)
                self.assertGreaterEqual(len(shown), 259)
                self.assertEqual(app.close(), 0)
                self.assertEqual(app.ini(key), value)


if __name__ == '__main__':
    run()
