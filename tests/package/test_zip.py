"""The portable zip of this build's target, as a technician
uses it: unpacked into a fresh Wine prefix, every program run from there."""

import os
import sys
import zipfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package  # noqa: E402
from harness.orvelle import OrvelleTestCase, run  # noqa: E402

PLATFORM = package.platform()


class PortableZip(OrvelleTestCase):
    @classmethod
    def setUpClass(cls):
        cls.zip_path = package.package_path('zip')
        package.fresh_prefix()
        super().setUpClass()
        # Where a technician would unpack it: a folder of their own on C:.
        cls.folder = package.unzip(cls.zip_path, os.path.join(cls.session.prefix, 'drive_c', 'Tools'))

    def test_holds_the_programs_language_files_and_texts(self):
        with zipfile.ZipFile(self.zip_path) as z:
            names = sorted(n.split('/', 1)[1] for n in z.namelist() if not n.endswith('/'))
        self.assertEqual(names, package.PACKAGE_FILES)
        self.assertEqual(os.path.basename(self.folder), 'Orvelle-%s-%s' % (package.version(), PLATFORM))
        for shipped, source in package.LANGUAGE_FILES.items():
            with open(os.path.join(self.folder, shipped), 'rb') as f, \
                    open(os.path.join(package.SOURCE_DIR, 'res', source), 'rb') as g:
                self.assertEqual(f.read(), g.read(), shipped)
        for name in package.TEXT_FILES:
            with open(os.path.join(self.folder, name), 'rb') as f:
                text = f.read()
            self.assertNotIn(b'\n', text.replace(b'\r\n', b''), '%s: a line without CR LF' % name)
            self.assertNotRegex(text, rb'@[A-Z_]+@', '%s: a placeholder left' % name)
        with open(os.path.join(self.folder, 'README.txt'), 'rb') as f:
            self.assertIn(package.version().encode(), f.read())

    def test_programs_are_release_builds(self):
        for name in package.PROGRAMS:
            with self.subTest(program=name):
                package.check_release_program(self, os.path.join(self.folder, name), PLATFORM)

    def test_programs_run_from_the_unpacked_folder(self):
        package.check_programs_run(self, self.folder, self.session, self.lng)


if __name__ == '__main__':
    run()
