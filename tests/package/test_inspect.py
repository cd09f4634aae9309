"""This build's packages read without running anything, for a target whose
programs this machine cannot execute: the zip's files and its programs'
headers, version resources and manifests; the installer's machine, version
and manifest."""

import os
import sys
import tempfile
import unittest
import zipfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package  # noqa: E402

PLATFORM = package.platform()


class Packages(unittest.TestCase):
    def test_zip_holds_release_programs(self):
        zip_path = package.package_path('zip')
        with zipfile.ZipFile(zip_path) as z:
            names = sorted(n.split('/', 1)[1] for n in z.namelist() if not n.endswith('/'))
        self.assertEqual(names, package.PACKAGE_FILES)
        with tempfile.TemporaryDirectory() as temp:
            folder = package.unzip(zip_path, temp)
            for name in package.PROGRAMS:
                with self.subTest(program=name):
                    package.check_release_program(self, os.path.join(folder, name), PLATFORM)

    def test_installer_is_the_targets(self):
        setup = package.package_path('setup')
        headers = package.objdump_headers(setup, PLATFORM)
        self.assertIn('file format %s' % package.MACHINES[PLATFORM], headers)
        with open(setup, 'rb') as f:
            data = f.read()
        numbers, _ = package.version_resource(data)
        self.assertEqual(numbers[1], tuple(int(n) for n in package.version().split('.')) + (0,))
        manifest = package.pe_resource(data, package.RT_MANIFEST, package.CREATEPROCESS_MANIFEST_RESOURCE_ID)
        self.assertIn(b'level="asInvoker"', manifest, 'the installer would ask for administrator rights')


if __name__ == '__main__':
    unittest.main(verbosity=2)
