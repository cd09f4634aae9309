"""The three language files: their form (what the program's reader needs and
what each text is used for), and each one copied over ORVELLE.lng of an
unpacked zip, as README tells a technician, with the program started under
that language's Windows locale. Japanese also runs an upgrade to its outcome
message. The zip is this build's."""

import csv
import io
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package  # noqa: E402
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, ADDED_TEXT_KEYS, TEXT_KEYS, run, same_text  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.ui import IDOK, IDYES  # noqa: E402
from harness.sample import MODEL, RECORD, enh, enhtool, merged  # noqa: E402

PLATFORM = package.platform()

# Texts that share one window's Alt+letter keys: the main dialog's controls
# and its menu bar.
MAIN_WINDOW_ACCELERATORS = (TextNo.kUpgradeButton, TextNo.kBrowseButton, TextNo.kFileMenu, TextNo.kSetupMenu,
                            TextNo.kAboutItem, TextNo.kLocationLabel, TextNo.kFolderMode, TextNo.kFileMode)
# Main dialog: control id -> text number; menu bar items and their menus.
CONTROL_TEXTS = {Res.IDC_MODE_GROUP: TextNo.kModeGroup, Res.IDC_FOLDER_MODE: TextNo.kFolderMode,
                 Res.IDC_FILE_MODE: TextNo.kFileMode, Res.IDC_LOCATION_LABEL: TextNo.kLocationLabel,
                 Res.IDC_BROWSE: TextNo.kBrowseButton, Res.IDC_UPGRADE: TextNo.kUpgradeButton}
MENU_TEXTS = [(TextNo.kFileMenu, [TextNo.kExitItem, TextNo.kSupportFileItem]),
              (TextNo.kSetupMenu, [TextNo.kComPortItem, TextNo.kPreviewItem, TextNo.kBatchItem]),
              (TextNo.kAboutItem, None)]
ABOUT_COMMAND, ABOUT_VERSION = Res.IDM_ABOUTBOX, Res.IDC_ABOUT_VERSION


def source_path(shipped):
    return os.path.join(package.SOURCE_DIR, 'res', package.LANGUAGE_FILES[shipped])


def rows_of(path, encoding):
    with open(path, 'rb') as f:
        data = f.read()
    return data, list(csv.reader(io.StringIO(data.decode(encoding).replace('\r\n', '\n'))))


def accelerators(text):
    """The letters marked with a single &."""
    return [m.group(1).lower() for m in re.finditer(r'(?<!&)&([^&])', text.replace('&&', ''))]


class Form(unittest.TestCase):
    """What the reader needs and what the uses need, file by file."""

    @classmethod
    def setUpClass(cls):
        cls.english = package.language_file(source_path('ORVELLE-en.lng'), 'cp1252')

    def test_each_file(self):
        for name, shipped, encoding, _ in package.LANGUAGES:
            with self.subTest(language=name):
                data, rows = rows_of(source_path(shipped), encoding)
                self.assertTrue(data.endswith(b'\r\n'), 'the last row needs its line break')
                self.assertNotIn(b'\n', data.replace(b'\r\n', b''), 'a line without CR LF')
                languages = [r for r in rows if r and r[0] == '*Language']
                # One column only: the program asks for "English" and takes
                # the first column of a file without it, so a copy over
                # ORVELLE.lng shows this language.
                self.assertEqual(len(languages), 1)
                self.assertEqual(len(languages[0]), 2, languages[0])
                keys = [int(r[0].replace('^#', '')) for r in rows if r and '^#' in r[0]]
                self.assertEqual(sorted(keys), sorted(TEXT_KEYS + list(ADDED_TEXT_KEYS.values())))
                for row in rows:
                    if row and '^#' in row[0]:
                        self.assertEqual(len(row), 2, row)

                texts = package.language_file(source_path(shipped), encoding)
                self.assertEqual(texts[TextNo.kLanguageName], languages[0][1])
                self.assertEqual(texts[TextNo.kVersion], package.version(), 'the About box version')
                for n in list(range(len(TEXT_KEYS))) + list(ADDED_TEXT_KEYS):
                    english = self.english[n]
                    self.assertTrue(texts[n], 'text %d is empty' % n)
                    self.assertEqual(re.findall(r'%.', texts[n]), re.findall(r'%.', english), 'text %d' % n)
                    self.assertEqual(len(accelerators(texts[n])), len(accelerators(english)), 'text %d' % n)
                keys_used = [k for n in MAIN_WINDOW_ACCELERATORS for k in accelerators(texts[n])]
                self.assertEqual(len(keys_used), len(set(keys_used)), 'one Alt key for two items: %s' % keys_used)

    def test_japanese_bytes_stay_apart_from_the_reader_syntax(self):
        # The reader splits rows and fields at bytes. In code page 932 a
        # second byte is never a comma, quote or line break, but it can be a
        # backslash: one followed by n, t or a would read as an escape to
        # anything that does not know the code page.
        data = open(source_path('ORVELLE-ja.lng'), 'rb').read()
        i = 0
        while i < len(data):
            if 0x81 <= data[i] <= 0x9F or 0xE0 <= data[i] <= 0xFC:
                trail = data[i + 1:i + 2]
                self.assertNotIn(trail, (b',', b'"', b'\n', b'\r', b''), 'byte %d' % i)
                if trail == b'\\':
                    self.assertNotIn(data[i + 2:i + 3], (b'n', b't', b'a'), 'byte %d' % i)
                i += 2
            else:
                i += 1


class Shown(OrvelleTestCase):
    """Each language copied over ORVELLE.lng and shown by the program."""

    @classmethod
    def setUpClass(cls):
        zip_path = package.package_path('zip')
        package.fresh_prefix()
        super().setUpClass()
        cls.folder = package.unzip(zip_path, os.path.join(cls.session.prefix, 'drive_c', 'Tools'))

    def start(self, shipped, encoding, locale, env=None):
        shutil.copyfile(os.path.join(self.folder, shipped), os.path.join(self.folder, 'ORVELLE.lng'))
        app = package.PackagedApp(self.session, self.folder)
        self.addCleanup(app.kill)
        app.start(env=dict(env or self.session.env, LC_ALL=locale))
        return app, package.language_file(os.path.join(self.folder, 'ORVELLE.lng'), encoding)

    def check_main_dialog(self, app, texts):
        info = app.info()
        self.assertEqual(info.caption, texts[TextNo.kAppTitle])
        for control, number in CONTROL_TEXTS.items():
            self.assertEqual(info.child(control)['text'], texts[number], 'control %d' % control)
        bar = app.menu()['bar']
        self.assertEqual([item['text'] for item in bar], [texts[n] for n, _ in MENU_TEXTS])
        for item, (_, items) in zip(bar, MENU_TEXTS):
            if items:
                self.assertEqual([i['text'] for i in item['items']], [texts[n] for n in items])

    def close(self, app, texts):
        box = app.request_close()
        self.assertTrue(same_text(box.text, texts[TextNo.kExitQuestion]), box.text)
        self.assertEqual(box.caption, texts[TextNo.kCaptionExit])
        self.drv.click(box.hwnd, IDYES)
        self.assertEqual(app.wait_exit(), 0)

    def test_main_dialog_in_each_language(self):
        for name, shipped, encoding, locale in package.LANGUAGES:
            with self.subTest(language=name):
                app, texts = self.start(shipped, encoding, locale)
                self.check_main_dialog(app, texts)
                app.screenshot('package-main-dialog-%s' % name.lower())
                self.close(app, texts)

    def test_japanese_about_box_and_upgrade(self):
        name, shipped, encoding, locale = next(lang for lang in package.LANGUAGES if lang[0] == 'Japanese')
        os.makedirs(os.path.join(self.folder, 'Data'), exist_ok=True)
        subprocess.run([enhtool(), 'make', '-', os.path.join(self.folder, 'Data', 'a.ENH')], input=enh().encode(),
                       check=True)
        with open(os.path.join(self.folder, 'ORVELLE.ini'), 'wb') as f:
            f.write(b'[INIT]\r\nComPort=1\r\nMode=1\r\n')
        radio = Radiosim(port=1, prefix=self.session.prefix, workdir=os.path.join(self.work_root, 'radiosim-ja'),
                         model=MODEL, version='V1.20', record=RECORD)
        radio.start()
        self.addCleanup(radio.stop)
        app, texts = self.start(shipped, encoding, locale, env=radio.wine_env(self.session.env))

        # The version line: a Japanese format with the version put in.
        self.drv.command(app.hwnd, ABOUT_COMMAND)
        about = app.wait_dialog(caption=texts[TextNo.kAboutCaption])
        self.assertEqual(about.child(ABOUT_VERSION)['text'], texts[TextNo.kVersionLine].replace('%s', texts[TextNo.kVersion]))
        self.drv.click(about.hwnd, IDOK)
        self.drv.wait_gone(about.hwnd)

        self.drv.click(app.hwnd, Res.IDC_UPGRADE)
        box = app.message_box(timeout_ms=30000)
        self.session.screenshot('package-outcome-japanese', box.rect)
        self.assertTrue(same_text(box.text, texts[TextNo.kRecordWritten]), box.text)
        self.assertEqual(box.caption, texts[TextNo.kCaptionOutcome])
        self.drv.press(box, IDOK)
        self.drv.wait_until(lambda: app.caption() == texts[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE), timeout=30,
                            what='the dialog unlocked')
        self.close(app, texts)
        radio.stop()
        self.assertEqual(radio.result()['final'], merged('3fffffffffffff0f'))


if __name__ == '__main__':
    run()
