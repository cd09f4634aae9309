"""What a new user meets in the first week, through the real windows: the
keyboard focus after a run, a folder path that ends in a backslash (a drive
root always does), and a File-mode path that is a pattern."""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.ui import IDOK, IDCANCEL  # noqa: E402
from harness.sample import PORT, SAMPLE_RADIO, enh, make_files, merged  # noqa: E402


VK_SPACE = 0x20
MASK = '3fffffffffffff0f'


class FirstWeek(OrvelleTestCase):
    def put_files(self, folder, names=('a.ENH',)):
        make_files(folder, {name: enh() for name in names})

    def radio(self, app, **settings):
        values = dict(SAMPLE_RADIO)
        values.update(settings)
        radio = Radiosim(port=PORT, prefix=self.session.prefix, workdir=os.path.join(app.folder, 'radiosim'),
                         **values)
        radio.start()
        self.addCleanup(radio.stop)
        return radio

    def wait_idle(self, app):
        self.drv.wait_until(lambda: app.caption() == self.lng[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE),
                            timeout=60, what='the dialog unlocked')

    def answer(self, app, body, answer=IDOK):
        box = app.message_box(timeout_ms=30000)
        self.assertTrue(same_text(box.text, self.lng[body]), box.text)
        self.drv.press(box, answer)

    def test_the_focus_is_on_upgrade_after_a_run(self):
        # (radio settings, answer at the first box, message of that box)
        cases = [
            ({}, IDOK, TextNo.kRecordWritten),
            ({'silent_after': 0}, IDCANCEL, TextNo.kLinkFailed),
        ]
        for settings, answer, body in cases:
            with self.subTest(body=body):
                app = self.app(ini={'ComPort': str(PORT), 'Mode': '1'})
                self.put_files(app.data_dir)
                radio = self.radio(app, **settings)
                app.start(env=radio.wine_env(self.session.env))
                self.drv.click(app.hwnd, Res.IDC_UPGRADE)
                self.answer(app, body, answer)
                self.wait_idle(app)
                self.drv.wait_until(lambda: app.focus_id() == Res.IDC_UPGRADE, timeout=5,
                                    what='the focus on Upgrade')
                # The keyboard starts the next run from there.
                self.drv.input_keys(VK_SPACE, hwnd=app.hwnd)
                self.answer(app, body, answer)
                self.wait_idle(app)
                app.close()

    def test_a_folder_path_with_a_closing_backslash(self):
        # A drive root, as the folder browser returns it for a USB stick: the
        # prefix's drive C:, with an option file of its own.
        root = os.path.join(self.session.prefix, 'drive_c')
        self.put_files(root, ('orvelle-root-test.ENH',))
        self.addCleanup(os.remove, os.path.join(root, 'orvelle-root-test.ENH'))

        for folder in ('Data\\', 'C:\\'):
            with self.subTest(folder=folder):
                app = self.app()
                self.put_files(app.data_dir)
                if folder == 'Data\\':
                    folder = app.windows_path('Data') + '\\'
                app.write_ini({'Folder': folder, 'ComPort': str(PORT), 'Mode': '1'})
                radio = self.radio(app)
                app.start(env=radio.wine_env(self.session.env))  # no start-up warning
                self.drv.click(app.hwnd, Res.IDC_UPGRADE)
                self.answer(app, TextNo.kRecordWritten)
                self.wait_idle(app)
                app.close()
                radio.stop()
                self.assertEqual(radio.result()['final'], merged(MASK))

        # A folder that does not exist still warns, with or without it.
        for closing in ('\\', ''):
            with self.subTest(closing=closing):
                app = self.app()
                app.write_ini({'Folder': app.windows_path('missing') + closing, 'Mode': '1'})
                box = app.start(expect_box=True)
                self.assertTrue(same_text(box.text, self.lng[TextNo.kNoOptionFileInFolder]), box.text)
                self.drv.press(box, IDOK)
                app.wait_main()
                app.close()

    def test_a_pattern_is_not_a_file(self):
        for pattern in ('*.ENH', '?.ENH'):
            with self.subTest(pattern=pattern):
                app = self.app()
                self.put_files(app.data_dir)
                app.write_ini({'File': app.windows_path('Data', pattern), 'ComPort': str(PORT), 'Mode': '2'})
                radio = self.radio(app)
                app.start(env=radio.wine_env(self.session.env))
                self.drv.click(app.hwnd, Res.IDC_UPGRADE)
                box = app.message_box(timeout_ms=30000)
                self.assertTrue(same_text(box.text, self.lng[TextNo.kNoOptionFile]), box.text)
                self.assertEqual(box.caption, self.lng[TextNo.kCaptionWarning])
                self.drv.press(box, IDOK)
                # Browse opens by itself, as for a missing file.
                picker = self.drv.wait_until(app.other_window, timeout=10, what='the Browse dialog')
                self.drv.click(picker, IDCANCEL)
                self.drv.wait_gone(picker)
                self.wait_idle(app)
                app.close()
                radio.stop()
                self.assertEqual(radio.received(heard_only=False), b'', 'the port was used')


if __name__ == '__main__':
    run()
