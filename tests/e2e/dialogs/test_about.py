"""The About box: every placeholder replaced by its language text, the
version and release lines formatted, and a language file with a hostile
format shown without harm."""

import csv
import io
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

from harness import SOURCE_DIR  # noqa: E402
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, LanguageFile, run, text_key  # noqa: E402
from harness.ui import IDOK  # noqa: E402


def language_file_with(path, texts):
    """A copy of the development language file at path whose English texts
    for the given keys ({key number: text}) are replaced."""
    with open(os.path.join(SOURCE_DIR, 'res', 'ORVELLE.lng'), 'rb') as f:
        lines = f.read().decode('cp1252').split('\r\n')
    column = next(next(csv.reader([l])) for l in lines if l.startswith('*Language')).index('English')
    out = []
    for line in lines:
        if line.startswith('^#') and int(line.split(',', 1)[0][2:]) in texts:
            row = next(csv.reader([line]))
            row[column] = texts[int(row[0][2:])]
            buf = io.StringIO()
            csv.writer(buf, lineterminator='').writerow(row)
            line = buf.getvalue()
        out.append(line)
    with open(path, 'wb') as f:
        f.write('\r\n'.join(out).encode('cp1252'))
    return path


class AboutBox(OrvelleTestCase):
    def open_box(self, app):
        self.drv.command(app.hwnd, Res.IDM_ABOUTBOX)
        return self.drv.wait_window(pid=app.pid, cls='#32770', owner=app.hwnd, timeout_ms=10000)

    def close_box(self, box):
        self.drv.click(box.hwnd, IDOK)
        self.drv.wait_gone(box.hwnd)

    def test_texts(self):
        app = self.app()
        app.start()
        box = self.open_box(app)
        self.session.screenshot('dialogs-about', box.rect)
        info = self.drv.info(box.hwnd)
        self.assertEqual(info.caption, self.lng[TextNo.kAboutCaption])
        self.assertEqual(info.child(Res.IDC_ABOUT_NAME)['text'], self.lng[TextNo.kAboutName])
        self.assertEqual(info.child(Res.IDC_ABOUT_LINE1)['text'], self.lng[TextNo.kAboutLine1])
        self.assertEqual(info.child(Res.IDC_ABOUT_LINE2)['text'], self.lng[TextNo.kAboutLine2])
        self.assertEqual(info.child(IDOK)['text'], self.lng[TextNo.kOkButton])
        # The development file's formats hold one plain %s each.
        self.assertEqual(info.child(Res.IDC_ABOUT_VERSION)['text'],
                         self.lng[TextNo.kVersionLine].replace('%s', self.lng[TextNo.kVersion]))
        self.assertEqual(info.child(Res.IDC_ABOUT_RELEASE)['text'],
                         self.lng[TextNo.kReleaseLine].replace('%s', self.lng[TextNo.kReleaseDate]))
        for text in [info.caption] + [c['text'] for c in info.children]:
            self.assertFalse(text.endswith(' *'), 'placeholder left: %r' % text)
        self.assertFalse(app.enabled(), 'the main dialog is not disabled while the box is open')
        self.close_box(box)
        self.assertTrue(app.enabled())
        # Nothing changes: the settings come out as they went in.
        self.assertEqual(app.close(), 0)
        self.assertEqual(app.ini('ComPort'), '1')

    def test_hostile_formats_are_shown_as_written(self):
        lng = language_file_with(os.path.join(self.work_root, 'hostile.lng'), {
            text_key(TextNo.kVersionLine): '%s %s %n %x',
            text_key(TextNo.kReleaseLine): '%d 100%% %-5s|%p',
        })
        texts = LanguageFile(lng)
        app = self.app(lng=lng)
        app.start()
        for _ in range(2):  # and again: the texts are not used up
            box = self.open_box(app)
            info = self.drv.info(box.hwnd)
            self.assertEqual(info.child(Res.IDC_ABOUT_VERSION)['text'], texts[TextNo.kVersion] + ' %s %n %x')
            self.assertEqual(info.child(Res.IDC_ABOUT_RELEASE)['text'],
                             '%d 100% ' + texts[TextNo.kReleaseDate].ljust(5) + '|%p')
            self.close_box(box)
        self.assertTrue(app.running())
        self.assertEqual(app.close(), 0)


if __name__ == '__main__':
    run()
