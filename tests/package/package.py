"""What the package tests share: which programs and files a package holds,
where the packages are, fresh Wine prefixes, checks of a shipped executable,
and ORVELLE.exe run where a package put it.

The programs every package ships are listed once, in PROGRAMS; every test
checks each of them (release build, version) and runs each as its kind says.
"""

import os
import re
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree
import zipfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleApp, LanguageFile, SOURCE_DIR, windows_path, wine_prefix, _die_with_parent  # noqa: E402

# Every program the packages ship, and how a test runs it: 'dialog' to its
# main dialog, 'console' with --version (it must print the version).
PROGRAMS = {
    'ORVELLE.exe': 'dialog',
    'orvelle-cli.exe': 'console',
}

# The language files beside the programs: ORVELLE.lng is what the program
# reads (English); the others are copied over it to switch.
LANGUAGE_FILES = {
    'ORVELLE.lng': 'ORVELLE.lng',
    'ORVELLE-en.lng': 'ORVELLE.lng',
    'ORVELLE-de.lng': 'ORVELLE-de.lng',
    'ORVELLE-ja.lng': 'ORVELLE-ja.lng',
}
TEXT_FILES = ('README.txt', 'LICENSE.txt')
PACKAGE_FILES = sorted(list(PROGRAMS) + list(LANGUAGE_FILES) + list(TEXT_FILES))

# Name, file in the package, code page, locale Wine takes its ANSI code page from.
LANGUAGES = [
    ('English', 'ORVELLE-en.lng', 'cp1252', 'en_US.UTF-8'),
    ('German', 'ORVELLE-de.lng', 'cp1252', 'de_DE.UTF-8'),
    ('Japanese', 'ORVELLE-ja.lng', 'cp932', 'ja_JP.UTF-8'),
]

# The DLLs a shipped program may import: those Windows itself ships.
WINDOWS_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'comdlg32.dll', 'shell32.dll',
                'ole32.dll', 'oleaut32.dll', 'advapi32.dll', 'msvcrt.dll', 'shlwapi.dll', 'uxtheme.dll',
                'version.dll', 'ws2_32.dll', 'setupapi.dll', 'bcrypt.dll'}

PLATFORMS = {'win32': 'i686-w64-mingw32', 'win64': 'x86_64-w64-mingw32'}
# The machine objdump names for each target's executables.
MACHINES = {'win32': 'pei-i386', 'win64': 'pei-x86-64'}


def platform():
    """The target whose packages are tested: win32 or win64."""
    return os.environ['ORVELLE_PACKAGE_PLATFORM']


def version():
    return os.environ['ORVELLE_VERSION']


def package_path(kind):
    """kind: zip or setup, of the tested target."""
    suffix = {'zip': '.zip', 'setup': '-setup.exe'}[kind]
    path = os.path.join(os.environ['ORVELLE_PACKAGE_DIR'], 'Orvelle-%s-%s%s' % (version(), platform(), suffix))
    if not os.path.isfile(path):
        raise AssertionError('package not built: %s (build the package target first)' % path)
    return path


def fresh_prefix():
    """Removes the test's prefix ($WINEPREFIX), so the session makes a new one."""
    prefix = os.environ['WINEPREFIX']
    subprocess.run(['wineserver', '-k'], env=dict(os.environ), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)
    wine_prefix('remove', prefix)
    return prefix


def unzip(zip_path, dest):
    """Unpacks a portable zip into dest; returns the program folder (the
    zip's one top folder)."""
    with zipfile.ZipFile(zip_path) as z:
        tops = {n.split('/', 1)[0] for n in z.namelist()}
        if len(tops) != 1:
            raise AssertionError('the zip has %d top folders: %s' % (len(tops), sorted(tops)))
        z.extractall(dest)
    return os.path.join(dest, tops.pop())


def wait_for(predicate, timeout, what):
    """Polls predicate until it is true; its value, or AssertionError."""
    limit = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > limit:
            raise AssertionError('timed out after %.0f s waiting for %s' % (timeout, what))
        time.sleep(0.05)


# -- a shipped executable ---------------------------------------------------

def objdump_headers(path, target):
    return subprocess.run([PLATFORMS[target] + '-objdump', '-p', '-h', path], check=True, stdout=subprocess.PIPE,
                          text=True, timeout=60).stdout


def version_resource(data):
    """(file version, product version) numbers of VS_FIXEDFILEINFO and the
    FileVersion and ProductVersion strings."""
    at = data.find(struct.pack('<I', 0xFEEF04BD))
    if at < 0:
        return None
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<4I', data, at + 8)
    numbers = [(file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF),
               (product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF)]
    strings = []
    for key in ('FileVersion', 'ProductVersion'):
        start = data.find((key + '\0').encode('utf-16-le'), at)
        if start < 0:
            strings.append(None)
            continue
        start += len(key + '\0') * 2
        start += (4 - start % 4) % 4  # values are 32-bit aligned
        end = start
        while data[end:end + 2] != b'\0\0':
            end += 2
        strings.append(data[start:end].decode('utf-16-le'))
    return numbers, strings


# PE offsets: the optional header's magic, where its data directories start
# (PE32, PE32+), the resource directory's index, a section header's fields.
PE_DATA_DIRECTORIES = {0x10B: 96, 0x20B: 112}
PE_RESOURCE_DIRECTORY = 2
SECTION_HEADER_SIZE = 40
SECTION_VIRTUAL_SIZE, SECTION_VIRTUAL_ADDRESS, SECTION_RAW_SIZE, SECTION_RAW_POINTER = 8, 12, 16, 20
RESOURCE_SUBDIRECTORY = 0x80000000
RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
# The manifest's namespaces, and the one operating-system id the program must
# declare so Windows 10 and 11 do not treat it as a legacy program.
MANIFEST_NS = {'v1': 'urn:schemas-microsoft-com:asm.v1', 'v3': 'urn:schemas-microsoft-com:asm.v3',
               'compat': 'urn:schemas-microsoft-com:compatibility.v1'}
WINDOWS_10_ID = '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'


def pe_resource(data, type_id, name_id):
    """The bytes of the resource type_id/name_id (first language) of a PE
    image, or None. Every offset is checked against the image."""
    def u16(at):
        return struct.unpack_from('<H', data, at)[0]

    def u32(at):
        return struct.unpack_from('<I', data, at)[0]

    pe = u32(0x3C)
    if data[pe:pe + 4] != b'PE\0\0':
        raise AssertionError('not a PE image')
    sections, optional_size = u16(pe + 6), u16(pe + 20)
    optional = pe + 24
    directories = optional + PE_DATA_DIRECTORIES[u16(optional)]
    resource_rva = u32(directories + 8 * PE_RESOURCE_DIRECTORY)
    table = optional + optional_size

    def offset(rva):
        for n in range(sections):
            header = table + n * SECTION_HEADER_SIZE
            start = u32(header + SECTION_VIRTUAL_ADDRESS)
            size = max(u32(header + SECTION_VIRTUAL_SIZE), u32(header + SECTION_RAW_SIZE))
            if start <= rva < start + size:
                return u32(header + SECTION_RAW_POINTER) + rva - start
        raise AssertionError('RVA %#x lies in no section' % rva)

    if resource_rva == 0:
        return None
    root = offset(resource_rva)

    def entry(directory, wanted):
        """The offset field of directory's entry wanted (an id; None: the first)."""
        named, ids = u16(directory + 12), u16(directory + 14)
        for n in range(named + ids):
            at = directory + 16 + 8 * n
            if wanted is None or (n >= named and u32(at) == wanted):
                return u32(at + 4)
        return None

    level = RESOURCE_SUBDIRECTORY
    for wanted in (type_id, name_id, None):
        if not level & RESOURCE_SUBDIRECTORY:
            raise AssertionError('resource tree ends early')
        level = entry(root + (level & ~RESOURCE_SUBDIRECTORY), wanted)
        if level is None:
            return None
    data_entry = root + level
    start, size = offset(u32(data_entry)), u32(data_entry + 4)
    if start + size > len(data):
        raise AssertionError('resource runs past the end of the image')
    return data[start:start + size]


def check_manifest(test, name, data, kind):
    """The program's manifest (resource 1): this version, run as the invoker,
    the supported operating systems; a program with windows also asks for the
    common controls with visual styles."""
    manifest = pe_resource(data, RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID)
    test.assertIsNotNone(manifest, '%s: no manifest' % name)
    root = ElementTree.fromstring(manifest)
    identity = root.find('v1:assemblyIdentity', MANIFEST_NS)
    test.assertIsNotNone(identity, '%s: manifest without assemblyIdentity' % name)
    test.assertEqual(identity.get('version'), version() + '.0', name)
    levels = [e.attrib for e in root.iter('{%s}requestedExecutionLevel' % MANIFEST_NS['v3'])]
    test.assertEqual(levels, [{'level': 'asInvoker', 'uiAccess': 'false'}], name)
    systems = [e.get('Id') for e in root.iter('{%s}supportedOS' % MANIFEST_NS['compat'])]
    test.assertIn(WINDOWS_10_ID, systems, name)
    if kind == 'dialog':
        controls = [e.get('version') for e in root.iter('{%s}assemblyIdentity' % MANIFEST_NS['v1'])
                    if e.get('name') == 'Microsoft.Windows.Common-Controls']
        test.assertEqual(controls, ['6.0.0.0'], name)


def check_release_program(test, path, target):
    """A shipped program: the target's machine, stripped, ASLR and DEP (and
    high-entropy ASLR on 64-bit) with its relocations kept, only Windows'
    own DLLs, the version resource of this version and its manifest."""
    name = os.path.basename(path)
    headers = objdump_headers(path, target)
    test.assertIn('file format %s' % MACHINES[target], headers, name)
    dll = int(re.search(r'^DllCharacteristics\s+([0-9a-fA-F]+)', headers, re.M).group(1), 16)
    characteristics = int(re.search(r'^Characteristics\s+0x([0-9a-fA-F]+)', headers, re.M).group(1), 16)
    wanted = {'DYNAMIC_BASE': 0x40, 'NX_COMPAT': 0x100}
    if target == 'win64':
        wanted['HIGH_ENTROPY_VA'] = 0x20
    for flag, bit in wanted.items():
        test.assertTrue(dll & bit, '%s: %s not set' % (name, flag))
    test.assertFalse(characteristics & 0x1, '%s: relocations stripped, so ASLR cannot move it' % name)
    test.assertNotIn('.debug_', headers, '%s: debug sections' % name)
    with open(path, 'rb') as f:
        data = f.read()
    symbols = struct.unpack_from('<I', data, struct.unpack_from('<I', data, 0x3C)[0] + 4 + 12)[0]
    test.assertEqual(symbols, 0, '%s: symbol table not stripped' % name)
    dlls = {d.lower() for d in re.findall(r'DLL Name: (\S+)', headers)}
    test.assertTrue(dlls, '%s: no imports found' % name)
    test.assertLessEqual(dlls, WINDOWS_DLLS, '%s imports DLLs Windows does not ship' % name)

    resource = version_resource(data)
    test.assertIsNotNone(resource, '%s: no version resource' % name)
    numbers, strings = resource
    expected = tuple(int(n) for n in version().split('.')) + (0,)
    test.assertEqual(numbers, [expected, expected], name)
    test.assertEqual(strings, [version() + '.0'] * 2, name)
    check_manifest(test, name, data, PROGRAMS[name])


def wine(env, *args, timeout=120):
    """Runs a Windows program (or a Wine tool) to its end; its output on stdout."""
    return subprocess.run(['wine'] + list(args), env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          stdin=subprocess.DEVNULL, timeout=timeout)


def shell_folder(env, variable):
    """A folder as Windows names it in an environment variable (LOCALAPPDATA)."""
    out = wine(env, 'cmd', '/c', 'echo %' + variable + '%').stdout.decode().strip()
    assert out and '%' not in out, out
    return out


def unix_path(env, dos):
    return subprocess.run(['winepath', '-u', dos], env=env, stdout=subprocess.PIPE, check=True,
                          stderr=subprocess.DEVNULL, timeout=60).stdout.decode().strip()


def run_console(path, env, args=('--version',), timeout=60):
    """Runs a console program under Wine; its exit code and output."""
    proc = subprocess.run(['wine', path] + list(args), env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          stdin=subprocess.DEVNULL, timeout=timeout)
    return proc.returncode, proc.stdout.decode('utf-8', errors='replace')


def check_programs_run(test, folder, session, lng):
    """Runs every shipped program in folder as its kind says: the dialog
    program to its main dialog in English and closed again; a console
    program with --version."""
    for name, kind in PROGRAMS.items():
        with test.subTest(program=name):
            if kind == 'console':
                code, out = run_console(os.path.join(folder, name), session.env)
                test.assertEqual(code, 0, out)
                test.assertIn(version(), out)
                continue
            app = PackagedApp(session, folder, exe_name=name)
            test.addCleanup(app.kill)
            app.start()
            test.assertEqual(app.caption(), lng[TextNo.kAppTitle])
            test.assertEqual(app.text(Res.IDC_UPGRADE), lng[TextNo.kUpgradeButton])
            test.assertEqual(app.close(), 0)
            test.assertEqual(app.ini_keys(), ['Folder', 'File', 'ComPort', 'Mode'])


# -- ORVELLE.exe where a package put it ---------------------------------------

class DriverProcess:
    """A program the test did not start itself (a shortcut started it),
    watched through the driver: as much of Popen as OrvelleApp uses. Its
    exit code is -1 once nobody holds the ended process."""

    def __init__(self, drv, pid):
        self.drv = drv
        self.pid = pid
        self.returncode = None

    def poll(self):
        if self.returncode is None:
            self.returncode = self.drv.wait_exit(self.pid, timeout_ms=0)
        return self.returncode

    def wait(self, timeout=None):
        if self.returncode is None:
            seconds = 60 if timeout is None else timeout
            self.returncode = self.drv.wait_exit(self.pid, timeout_ms=int(seconds * 1000))
            if self.returncode is None:
                raise subprocess.TimeoutExpired('pid %d' % self.pid, seconds)
        return self.returncode

    def kill(self):
        self.drv.kill(self.pid)


class PackagedApp(OrvelleApp):
    """ORVELLE.exe run in place (an unpacked zip or an installed copy):
    nothing is copied. command starts it another way than `wine <exe>`:
    ['wine', 'start', <shortcut>] starts it as the Start menu would."""

    def __init__(self, session, folder, exe_name='ORVELLE.exe', command=None):
        self.session = session
        self.drv = session.ensure_driver()
        self.folder = folder
        self.exe = os.path.join(folder, exe_name)
        self.ini_path = os.path.join(folder, 'ORVELLE.ini')
        self.data_dir = os.path.join(folder, 'Data')
        self.command = command or ['wine', self.exe]
        self.wine_log = None  # started its own way: Wine's words are not kept
        # Windows names a program inside the prefix by its drive C: path.
        dos = subprocess.run(['winepath', '-w', self.exe], env=session.env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, check=True, timeout=60).stdout.decode().strip()
        self.paths = {windows_path(self.exe).lower(), dos.lower()}
        self.proc = None
        self.pid = None
        self.hwnd = None

    def launch(self, env=None, timeout=15.0):
        starter = subprocess.Popen(self.command, cwd=self.folder, env=env or self.session.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   preexec_fn=_die_with_parent)
        # `wine start` ends once the program has started (a shortcut's
        # program even with /wait), so the driver watches the program.
        through_shortcut = self.command[:2] == ['wine', 'start']
        self.proc = starter
        name = os.path.basename(self.exe)
        limit = time.monotonic() + timeout
        while self.pid is None:
            for p in self.drv.call('processes', name=name)['processes']:
                if p['path'].lower() in self.paths:
                    self.pid = p['pid']
            if self.pid is None:
                ended = starter.poll() is not None and not through_shortcut
                if ended or time.monotonic() > limit:
                    raise AssertionError('%s did not start (exit %r)' % (name, starter.poll()))
                time.sleep(0.02)
        if through_shortcut:
            starter.wait(timeout=timeout)
            self.proc = DriverProcess(self.drv, self.pid)
        return self


def language_file(path, encoding):
    """The texts of a one-language file (its first column), by text number."""
    return LanguageFile(path, language=None, encoding=encoding)
