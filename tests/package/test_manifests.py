"""The manifests the release build writes beside the packages for Windows'
package managers, read without running anything: each manifest's required
fields against the rules of its format (written down below), and every
package it names against the package file that was built.

Both targets write into one package folder, one after the other: the
manifests name whichever of the four packages of this version are there,
and always this target's own."""

import hashlib
import json
import os
import re
import sys
import unittest
import zipfile

try:
    import yaml
except ImportError:  # an interpreter of its own beside Debian's, whose python3-yaml setup.sh installs
    sys.path.append('/usr/lib/python3/dist-packages')
    import yaml

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package  # noqa: E402

PLATFORM = package.platform()
PACKAGE_ID = 'Orvelle.Orvelle'

# winget's manifest format, version 1.6.0: the fields each manifest type
# requires, and the rules of the fields these manifests use.
WINGET_REQUIRED = {
    'version': ['PackageIdentifier', 'PackageVersion', 'DefaultLocale', 'ManifestType', 'ManifestVersion'],
    'installer': ['PackageIdentifier', 'PackageVersion', 'Installers', 'ManifestType', 'ManifestVersion'],
    'defaultLocale': ['PackageIdentifier', 'PackageVersion', 'PackageLocale', 'Publisher', 'PackageName',
                      'License', 'ShortDescription', 'ManifestType', 'ManifestVersion'],
}
# Per installer: these three, and the installer type here or at the top.
WINGET_INSTALLER_REQUIRED = ['Architecture', 'InstallerUrl', 'InstallerSha256']
WINGET_NAME_PART = r'[^.\s\\/:*?"<>|\x01-\x1f]{1,32}'
WINGET_RULES = {
    'PackageIdentifier': re.compile(r'^%s(\.%s){1,7}$' % (WINGET_NAME_PART, WINGET_NAME_PART)),
    'PackageVersion': re.compile(r'^[^\\/:*?"<>|\x01-\x1f]{1,128}$'),
    'ManifestVersion': re.compile(r'^(0|[1-9][0-9]{0,4})(\.(0|[1-9][0-9]{0,4})){2}$'),
    'DefaultLocale': re.compile(r'^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$'),
    'PackageLocale': re.compile(r'^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$'),
    'Publisher': re.compile(r'^.{2,256}$'),
    'PackageName': re.compile(r'^.{2,256}$'),
    'License': re.compile(r'^.{3,512}$'),
    'ShortDescription': re.compile(r'^.{3,256}$'),
    'InstallerUrl': re.compile(r'^[Hh][Tt][Tt][Pp][Ss]?://.+$'),
    'PackageUrl': re.compile(r'^[Hh][Tt][Tt][Pp][Ss]?://.+$'),
    'InstallerSha256': re.compile(r'^[A-Fa-f0-9]{64}$'),
}
WINGET_ARCHITECTURES = {'x86', 'x64', 'arm', 'arm64', 'neutral'}
WINGET_INSTALLER_TYPES = {'msix', 'msi', 'appx', 'exe', 'zip', 'inno', 'nullsoft', 'wix', 'burn', 'pwa', 'portable'}
WINGET_SCOPES = {'user', 'machine'}
WINGET_SWITCHES = {'Silent', 'SilentWithProgress', 'Interactive', 'InstallLocation', 'Log', 'Upgrade', 'Custom',
                   'Repair'}
WINGET_RETURN_RESPONSES = {'packageInUse', 'packageInUseByApplication', 'installInProgress', 'fileInUse',
                           'missingDependency', 'diskFull', 'insufficientMemory', 'invalidParameter',
                           'noNetwork', 'contactSupport', 'rebootRequiredToFinish', 'rebootRequiredForInstall',
                           'rebootInitiated', 'cancelledByUser', 'alreadyInstalled', 'downgrade',
                           'blockedByPolicy', 'systemNotSupported', 'custom'}

# Scoop's manifest: a version, and per architecture the package's address and
# its SHA-256 (Scoop's hash without a prefix is SHA-256).
SCOOP_REQUIRED = ['version', 'description', 'homepage', 'license', 'architecture']
SCOOP_ARCHITECTURES = {'64bit', '32bit', 'arm64'}
SCOOP_HASH = re.compile(r'^([a-fA-F0-9]{64}|sha256:[a-fA-F0-9]{64})$')

# Each target's package names and its names in each format.
TARGETS = {
    'win64': {'winget': 'x64', 'scoop': '64bit'},
    'win32': {'winget': 'x86', 'scoop': '32bit'},
}


def package_file(platform, kind):
    suffix = {'zip': '.zip', 'setup': '-setup.exe'}[kind]
    return 'Orvelle-%s-%s%s' % (package.version(), platform, suffix)


def sha256(path):
    with open(path, 'rb') as f:
        return hashlib.sha256(f.read()).hexdigest()


def built(kind):
    """{platform: path} of the packages of this version in the package folder."""
    found = {}
    for platform in TARGETS:
        path = os.path.join(os.environ['ORVELLE_PACKAGE_DIR'], package_file(platform, kind))
        if os.path.isfile(path):
            found[platform] = path
    return found


class Manifests(unittest.TestCase):
    def check_fields(self, manifest, required, where):
        for field in required:
            self.assertIn(field, manifest, '%s: %s is required' % (where, field))
        for field, value in manifest.items():
            rule = WINGET_RULES.get(field)
            if rule:
                self.assertIsInstance(value, str, '%s: %s' % (where, field))
                self.assertRegex(value, rule, '%s: %s' % (where, field))

    def test_winget_manifest_set(self):
        folder = os.path.join(os.environ['ORVELLE_PACKAGE_DIR'], 'winget', PACKAGE_ID, package.version())
        files = {
            'version': '%s.yaml' % PACKAGE_ID,
            'installer': '%s.installer.yaml' % PACKAGE_ID,
            'defaultLocale': '%s.locale.en-US.yaml' % PACKAGE_ID,
        }
        manifests = {}
        for kind, name in files.items():
            with open(os.path.join(folder, name), encoding='utf-8') as f:
                manifests[kind] = yaml.safe_load(f)
        for kind, manifest in manifests.items():
            with self.subTest(manifest=kind):
                self.check_fields(manifest, WINGET_REQUIRED[kind], files[kind])
                self.assertEqual(manifest['ManifestType'], kind)
                self.assertEqual(manifest['ManifestVersion'], manifests['version']['ManifestVersion'])
                self.assertEqual(manifest['PackageIdentifier'], PACKAGE_ID)
                self.assertEqual(manifest['PackageVersion'], package.version())
        self.assertEqual(manifests['defaultLocale']['PackageLocale'], manifests['version']['DefaultLocale'])
        self.assertEqual(manifests['defaultLocale']['Publisher'], 'Orvelle developers')

        installer = manifests['installer']
        self.assertIn(installer.get('InstallerType'), WINGET_INSTALLER_TYPES)
        self.assertEqual(installer['InstallerType'], 'nullsoft')
        self.assertIn(installer.get('Scope'), WINGET_SCOPES)
        self.assertEqual(installer['Scope'], 'user', 'the installer is per user')
        switches = installer.get('InstallerSwitches', {})
        self.assertLessEqual(set(switches), WINGET_SWITCHES)
        self.assertEqual(switches.get('Silent'), '/S')
        self.assertEqual(switches.get('SilentWithProgress'), '/S')
        for code in installer.get('ExpectedReturnCodes', []):
            self.assertIsInstance(code['InstallerReturnCode'], int)
            self.assertIn(code['ReturnResponse'], WINGET_RETURN_RESPONSES)

        listed = {}
        for entry in installer['Installers']:
            with self.subTest(installer=entry.get('Architecture')):
                self.check_fields(entry, WINGET_INSTALLER_REQUIRED, 'installer')
                self.assertIn(entry['Architecture'], WINGET_ARCHITECTURES)
                self.assertNotIn(entry['Architecture'], listed, 'an architecture listed twice')
                listed[entry['Architecture']] = entry
        present = built('setup')
        self.assertIn(PLATFORM, present)
        self.assertEqual(set(listed), {TARGETS[p]['winget'] for p in present})
        for platform, path in present.items():
            with self.subTest(package=os.path.basename(path)):
                entry = listed[TARGETS[platform]['winget']]
                self.assertTrue(entry['InstallerUrl'].endswith('/' + os.path.basename(path)))
                self.assertEqual(entry['InstallerSha256'].lower(), sha256(path))

    def test_scoop_manifest(self):
        with open(os.path.join(os.environ['ORVELLE_PACKAGE_DIR'], 'scoop', 'orvelle.json'), encoding='utf-8') as f:
            manifest = json.load(f)
        for field in SCOOP_REQUIRED:
            self.assertIn(field, manifest, 'scoop: %s' % field)
        self.assertEqual(manifest['version'], package.version())
        self.assertLessEqual(set(manifest['architecture']), SCOOP_ARCHITECTURES)
        present = built('zip')
        self.assertIn(PLATFORM, present)
        self.assertEqual(set(manifest['architecture']), {TARGETS[p]['scoop'] for p in present})
        for platform, path in present.items():
            with self.subTest(package=os.path.basename(path)):
                entry = manifest['architecture'][TARGETS[platform]['scoop']]
                self.assertRegex(entry['url'], r'^https?://.+/' + re.escape(os.path.basename(path)) + '$')
                self.assertRegex(entry['hash'], SCOOP_HASH)
                self.assertEqual(entry['hash'].lower().replace('sha256:', ''), sha256(path))
                # The programs lie in the zip's one folder.
                with zipfile.ZipFile(path) as z:
                    tops = {n.split('/', 1)[0] for n in z.namelist()}
                self.assertEqual(tops, {entry['extract_dir']})
        # Both programs on the PATH; the dialog program in the Start menu;
        # what Orvelle writes beside itself kept across updates.
        self.assertEqual(sorted(manifest['bin']), sorted(package.PROGRAMS))
        self.assertIn(['ORVELLE.exe', 'Orvelle'], manifest['shortcuts'])
        self.assertLessEqual({'History', 'ORVELLE.ini'}, set(manifest['persist']))


if __name__ == '__main__':
    unittest.main(verbosity=2)
