"""A build given a code-signing certificate (scripts/make-test-certificate
makes a throw-away one): every program in the packages, the installer and
the uninstaller it writes carry a valid SHA-256 signature by that
certificate, and the signed installer and programs run under Wine as the
unsigned ones do."""

import os
import re
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package  # noqa: E402
from harness.orvelle import OrvelleTestCase, run  # noqa: E402

UNINSTALLER = 'Uninstall.exe'


def certificate_pem(folder):
    """The signing certificate (without its key) as the trust anchor for
    osslsigncode verify, taken from the build's PKCS#12 file."""
    pem = os.path.join(folder, 'signer.pem')
    subprocess.run(['openssl', 'pkcs12', '-in', os.environ['ORVELLE_SIGN_PKCS12'], '-nokeys', '-clcerts',
                    '-passin', 'file:' + os.environ['ORVELLE_SIGN_PASSWORD_FILE'], '-out', pem],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    return pem


def subject(pem):
    return subprocess.run(['openssl', 'x509', '-in', pem, '-noout', '-subject'], check=True,
                          stdout=subprocess.PIPE, timeout=60).stdout.decode().strip()


class SignedPackages(OrvelleTestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        cls.pem = certificate_pem(cls.temp.name)
        package.fresh_prefix()
        super().setUpClass()
        cls.env = dict(cls.session.env, WINEDLLOVERRIDES=cls.session.env['WINEDLLOVERRIDES'] +
                       ';winemenubuilder.exe=d')

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.temp.cleanup()

    def check_signed(self, path):
        proc = subprocess.run(['osslsigncode', 'verify', '-CAfile', self.pem, '-in', path],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        out = proc.stdout.decode(errors='replace')
        self.assertEqual(proc.returncode, 0, '%s: %s' % (path, out))
        self.assertIn('Signature verification: ok', out, path)
        self.assertRegex(out, r'Message digest algorithm\s*:\s*SHA256', path)
        # Signed by this certificate, not merely by some certificate.
        cn = re.search(r'CN\s*=\s*(.+)$', subject(self.pem)).group(1).strip()
        self.assertIn(cn, out, path)

    def test_unsigned_file_is_refused(self):
        # The check itself: a release program without a signature fails it.
        unsigned = os.path.join(self.temp.name, 'unsigned.exe')
        folder = package.unzip(package.package_path('zip'), os.path.join(self.temp.name, 'zip'))
        with open(os.path.join(folder, 'orvelle-cli.exe'), 'rb') as f:
            data = f.read()
        proc = subprocess.run(['osslsigncode', 'remove-signature', '-in', os.path.join(folder, 'orvelle-cli.exe'),
                               '-out', unsigned], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        self.assertEqual(proc.returncode, 0)
        self.assertNotEqual(os.path.getsize(unsigned), len(data))
        with self.assertRaises(AssertionError):
            self.check_signed(unsigned)

    def test_zip_programs_and_installer_are_signed(self):
        folder = package.unzip(package.package_path('zip'), os.path.join(self.temp.name, 'signed-zip'))
        for name in package.PROGRAMS:
            with self.subTest(program=name):
                self.check_signed(os.path.join(folder, name))
        self.check_signed(package.package_path('setup'))

    def test_signed_installer_installs_signed_programs_that_run(self):
        proc = package.wine(self.env, package.package_path('setup'), '/S')
        self.assertEqual(proc.returncode, 0, 'silent install failed')
        folder = package.unix_path(self.env, package.shell_folder(self.env, 'LOCALAPPDATA') + r'\Programs\Orvelle')
        for name in list(package.PROGRAMS) + [UNINSTALLER]:
            with self.subTest(file=name):
                self.check_signed(os.path.join(folder, name))
        package.check_programs_run(self, folder, self.session, self.lng)
        # The signed uninstaller runs too: it hands over to a copy of itself,
        # so its end is seen by what it removes.
        self.assertEqual(package.wine(self.env, os.path.join(folder, UNINSTALLER), '/S').returncode, 0)
        package.wait_for(lambda: not any(os.path.exists(os.path.join(folder, n)) for n in package.PROGRAMS),
                         120, 'the uninstaller to remove the programs')


if __name__ == '__main__':
    run()
