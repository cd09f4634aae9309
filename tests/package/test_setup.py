"""The installer, as a technician uses it, in a fresh Wine prefix: a silent
per-user install (files, Start-menu shortcut, entry in the installed-programs
list), the installed ORVELLE.exe started from its shortcut through a whole
upgrade against radiosim, an install and an uninstall refused while the
program runs, an install that fails on a file it cannot write, a second
install over it that keeps the settings and the history, and a silent
uninstall that leaves only the user's files."""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import zipfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package  # noqa: E402
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleTestCase, run, same_text, windows_path  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.ui import IDCANCEL, IDOK, IDRETRY  # noqa: E402
from harness.sample import MODEL, RECORD, enh, enhtool, merged  # noqa: E402

UNINSTALL_KEY = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvelle'
UNINSTALLER = 'Uninstall.exe'
SHORTCUT = 'Orvelle.lnk'
PORT = 1
# What the user's own files look like after some use; none of them may be
# touched by an installation or removed by the uninstaller.
HISTORY = b'time,port,model,outcome\r\n2026-12-01 10:00:00,1,QX-5100,written\r\n'
OPTION_FILE = os.path.join('Data', 'a.ENH')


class Installer(OrvelleTestCase):
    @classmethod
    def setUpClass(cls):
        cls.setup = package.package_path('setup')
        package.fresh_prefix()
        super().setUpClass()
        # The installer creates a Start-menu shortcut; Wine would mirror it
        # into the desktop's own menu of this machine.
        cls.env = dict(cls.session.env, WINEDLLOVERRIDES=cls.session.env['WINEDLLOVERRIDES'] +
                       ';winemenubuilder.exe=d')
        cls.programs_dos = cls.shell_folder('LOCALAPPDATA') + r'\Programs\Orvelle'
        cls.folder = cls.unix_path(cls.programs_dos)
        cls.shortcut_dos = cls.shell_folder('APPDATA') + r'\Microsoft\Windows\Start Menu\Programs' + '\\' + SHORTCUT
        cls.shortcut = cls.unix_path(cls.shortcut_dos)

    # -- Windows as the installer sees it -----------------------------------
    @classmethod
    def wine(cls, *args, timeout=120):
        return package.wine(cls.env, *args, timeout=timeout)

    @classmethod
    def shell_folder(cls, variable):
        return package.shell_folder(cls.env, variable)

    @classmethod
    def unix_path(cls, dos):
        return package.unix_path(cls.env, dos)

    def uninstall_entry(self):
        """The values of the uninstall key, or None when there is none."""
        proc = self.wine('reg', 'query', UNINSTALL_KEY)
        if proc.returncode != 0:
            return None
        values = {}
        for line in proc.stdout.decode(errors='replace').splitlines():
            m = re.match(r'^\s+(\S+)\s+(REG_\w+)\s+(.*)$', line)
            if m:
                values[m.group(1)] = m.group(3).strip()
        return values

    def installed_programs(self):
        """Names in the installed-programs list, as Wine's own uninstaller
        lists them (it reads the same keys as Windows' Settings)."""
        out = self.wine('uninstaller', '--list').stdout.decode(errors='replace')
        return [line.split('|||', 1)[1].strip() for line in out.splitlines() if '|||' in line]

    def files(self):
        """Every file under the program folder, relative, sorted."""
        found = []
        for root, _, names in os.walk(self.folder):
            found += [os.path.relpath(os.path.join(root, n), self.folder) for n in names]
        return sorted(found)

    def install(self):
        proc = self.wine(self.setup, '/S')
        self.assertEqual(proc.returncode, 0, 'silent install failed')

    def snapshot(self):
        """Every file under the program folder with its content's hash and
        its modification time."""
        found = {}
        for name in self.files():
            path = os.path.join(self.folder, name)
            with open(path, 'rb') as f:
                found[name] = (hashlib.sha256(f.read()).hexdigest(), os.stat(path).st_mtime_ns)
        return found

    def uninstaller_running(self):
        # NSIS runs its uninstaller from a copy in %TEMP%\~nsuN.tmp.
        return any('\\~nsu' in p['path'].lower() or p['path'].lower().endswith('\\' + UNINSTALLER.lower())
                   for p in self.drv.call('processes')['processes'])

    def uninstall(self, command):
        """Runs an uninstall command line; returns once the uninstaller (which
        hands over to a copy of itself and returns at once) has ended."""
        m = re.match(r'^"([^"]+)"\s*(.*)$', command)
        self.assertEqual(self.wine(m.group(1), *m.group(2).split()).returncode, 0)
        package.wait_for(lambda: not self.uninstaller_running() and self.uninstall_entry() is None, 120,
                         'the uninstaller to finish')

    # -- the steps ----------------------------------------------------------
    def check_installed(self, user_files=()):
        """The program files, the shortcut and one uninstall entry; besides
        them only the user's files named."""
        self.assertEqual(self.files(), sorted(package.PACKAGE_FILES + [UNINSTALLER] + list(user_files)))
        # The same programs and files as the zip of the same target.
        with zipfile.ZipFile(package.package_path('zip')) as z:
            for name in z.namelist():
                if not name.endswith('/'):
                    with open(os.path.join(self.folder, name.split('/', 1)[1]), 'rb') as f:
                        self.assertEqual(f.read(), z.read(name), name)
        for name in package.PROGRAMS:
            package.check_release_program(self, os.path.join(self.folder, name), package.platform())
        self.assertTrue(os.path.isfile(self.shortcut), 'no Start-menu shortcut')

        entry = self.uninstall_entry()
        self.assertIsNotNone(entry, 'no uninstall entry')
        uninstaller = self.programs_dos + '\\' + UNINSTALLER
        self.assertEqual(entry.get('DisplayName'), 'Orvelle')
        self.assertEqual(entry.get('DisplayVersion'), package.version())
        self.assertEqual(entry.get('Publisher'), 'Orvelle developers')
        self.assertEqual(entry.get('InstallLocation', '').lower(), self.programs_dos.lower())
        self.assertEqual(entry.get('UninstallString', '').lower(), '"%s"' % uninstaller.lower())
        self.assertEqual(entry.get('QuietUninstallString', '').lower(), '"%s" /s' % uninstaller.lower())
        self.assertEqual(entry.get('DisplayIcon', '').lower(), (self.programs_dos + r'\ORVELLE.exe').lower())
        self.assertGreater(int(entry.get('EstimatedSize', '0'), 0), 0)
        self.assertEqual(self.installed_programs().count('Orvelle'), 1)

    def upgrade_through_shortcut(self):
        """The installed program, started from its shortcut, writes options
        into radiosim's record."""
        os.makedirs(os.path.join(self.folder, 'Data'), exist_ok=True)
        subprocess.run([enhtool(), 'make', '-', os.path.join(self.folder, OPTION_FILE)], input=enh().encode(),
                       check=True)
        app = package.PackagedApp(self.session, self.folder, command=['wine', 'start', self.shortcut_dos])
        self.addCleanup(app.kill)
        app.write_ini({'ComPort': str(PORT), 'Mode': '1'})
        radio = Radiosim(port=PORT, prefix=self.session.prefix, workdir=os.path.join(self.work_root, 'radiosim'),
                         model=MODEL, version='V1.20', record=RECORD)
        radio.start()
        self.addCleanup(radio.stop)
        app.start(env=radio.wine_env(self.env))
        self.assertEqual(app.caption(), self.lng[TextNo.kAppTitle])
        self.drv.click(app.hwnd, Res.IDC_UPGRADE)
        box = app.message_box(timeout_ms=30000)
        self.assertTrue(same_text(box.text, self.lng[TextNo.kRecordWritten]), box.text)
        self.assertEqual(box.caption, self.lng[TextNo.kCaptionOutcome])
        self.drv.press(box, IDOK)
        self.drv.wait_until(lambda: app.caption() == self.lng[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE), timeout=30,
                            what='the dialog unlocked')
        app.close()
        radio.stop()
        self.assertEqual(radio.result()['final'], merged('3fffffffffffff0f'))
        radio.keep_artifacts('package-setup-upgrade')
        # Settings are kept beside the program: the folder is writable.
        self.assertEqual(app.ini('ComPort'), str(PORT))

    def check_refused(self, running, before, entry, its_own=()):
        """A silent install and a silent uninstall, each ended at once with
        exit code 2 while a program of the installation runs, no file changed
        (but its_own: the files the running program itself keeps writing)."""
        # The uninstaller in place (_?=), so its own exit code comes back.
        for what, command in (('install', [self.setup, '/S']),
                              ('uninstall', [os.path.join(self.folder, UNINSTALLER), '/S',
                                             '_?=' + self.programs_dos])):
            with self.subTest(refused=what, running=running):
                self.assertEqual(self.wine(*command).returncode, 2, '%s went on over a running %s' % (what, running))
                now = self.snapshot()
                self.assertEqual({f: v for f, v in now.items() if f not in its_own},
                                 {f: v for f, v in before.items() if f not in its_own},
                                 'files changed by the refused %s' % what)
                self.assertEqual(self.uninstall_entry(), entry)
                self.assertTrue(os.path.isfile(self.shortcut))

    def answer_the_running_box(self, before):
        """The installer run by hand while the program runs asks to close it:
        Retry asks again while it still runs, Cancel ends the installer with
        exit code 2, nothing changed."""
        pid = self.drv.start(windows_path(self.setup))
        box = self.drv.wait_message_box(pid, timeout_ms=60000)
        self.assertIn('Orvelle is running', box.text)
        self.drv.press(box, IDRETRY)
        again = self.drv.wait_message_box(pid, timeout_ms=60000)
        self.assertIn('Orvelle is running', again.text)
        self.drv.press(again, IDCANCEL)
        self.assertEqual(self.drv.wait_exit(pid, timeout_ms=60000), 2)
        self.assertEqual(self.snapshot(), before, 'files changed by the cancelled install')

    def refused_while_running(self):
        """With an installed program running, ORVELLE.exe and then
        orvelle-cli.exe in the middle of a long run, a silent install and a
        silent uninstall end with exit code 2 and change no file (Windows
        could replace neither the running program nor delete it); once it is
        closed the install goes through."""
        self.drv = self.session.ensure_driver()
        before = self.snapshot()
        entry = self.uninstall_entry()
        app = package.PackagedApp(self.session, self.folder)
        self.addCleanup(app.kill)
        app.start(env=self.env)
        self.check_refused('ORVELLE.exe', before, entry)
        self.answer_the_running_box(before)
        self.assertTrue(app.running())
        self.assertEqual(app.close(), 0)

        # The console tool trying a radio that never answers, for as long as
        # its retries last.
        radio = Radiosim(port=PORT, prefix=self.session.prefix, workdir=os.path.join(self.work_root, 'silent-radio'),
                         model=MODEL, version='V1.20', record=RECORD, silent_after=0)
        radio.start()
        self.addCleanup(radio.stop)
        output = os.path.join(self.work_root, 'silent-radio-cli.txt')
        with open(output, 'wb') as out:
            cli = subprocess.Popen(['wine', os.path.join(self.folder, 'orvelle-cli.exe'), 'identify', '--port',
                                    str(PORT), '--retries', '100'], env=radio.wine_env(self.env),
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        self.addCleanup(cli.kill)

        def said():
            with open(output, 'rb') as f:
                return f.read().decode(errors='replace')
        package.wait_for(lambda: radio.received(heard_only=False) or cli.poll() is not None, 60,
                         'orvelle-cli to call the radio')
        self.assertIsNone(cli.poll(), 'orvelle-cli ended: %s' % said())
        # The console tool keeps the line of its run in History\last-run.trace
        # as it goes.
        self.check_refused('orvelle-cli.exe', before, entry, its_own=(os.path.join('History', 'last-run.trace'),))
        self.assertIsNone(cli.poll(), 'orvelle-cli ended meanwhile: %s' % said())
        cli.kill()
        cli.wait(timeout=60)
        package.wait_for(lambda: not any(p['path'].lower().endswith('orvelle-cli.exe')
                                         for p in self.drv.call('processes')['processes']), 60,
                         'orvelle-cli to be gone')
        radio.stop()
        self.install()
        self.check_installed(user_files=[f for f in before if f not in package.PACKAGE_FILES + [UNINSTALLER]])

    def refused_for_a_mark_it_may_not_look_at(self):
        """The running mark in a state the installer cannot open: a mutex of
        another user or of a copy started as administrator, whose descriptor
        refuses this user even the look (ERROR_ACCESS_DENIED on Windows; Wine
        does not enforce it and lets the look through), and an object of the
        mark's name that is no mutex (ERROR_INVALID_HANDLE, which Wine shows
        too). Only "not found" means that no copy runs: in each state the
        silent install ends with exit code 2 and changes nothing."""
        before = self.snapshot()
        entry = self.uninstall_entry()
        for kind in ('mutex', 'event'):
            with self.subTest(mark=kind):
                holder = subprocess.Popen(['wine', os.environ['ORVELLE_HOLDMARK'], kind,
                                           os.environ['ORVELLE_RUNNING_MUTEX'], 'D:'],
                                          env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                          stderr=subprocess.DEVNULL)
                self.addCleanup(holder.kill)
                self.assertEqual(holder.stdout.readline().strip(), b'held')
                self.assertEqual(self.wine(self.setup, '/S').returncode, 2,
                                 'installed while a mark it could not open was there')
                self.assertEqual(self.snapshot(), before, 'files changed by the refused install')
                self.assertEqual(self.uninstall_entry(), entry)
                holder.stdin.close()
                self.assertEqual(holder.stdout.readline().strip(), b'released')
                holder.wait(timeout=60)

    def stopped_by_a_failing_uninstaller(self):
        """The installed version's uninstaller, run first to take its own
        files away, fails (here a program that exits with 2 in its place):
        the installation stops with exit code 2 before it changes anything."""
        uninstaller = os.path.join(self.folder, UNINSTALLER)
        with open(uninstaller, 'rb') as f:
            kept = f.read()
        shutil.copyfile(os.environ['ORVELLE_HOLDMARK'], uninstaller)  # without arguments: exit code 2
        before = self.snapshot()
        entry = self.uninstall_entry()
        self.assertEqual(self.wine(self.setup, '/S').returncode, 2, 'installed over a failed uninstall')
        self.assertEqual(self.snapshot(), before, 'files changed after the failed uninstall')
        self.assertEqual(self.uninstall_entry(), entry)
        with open(uninstaller, 'wb') as f:
            f.write(kept)

    def fails_on_unwritable_file(self):
        """A file the installer cannot write fails the install with a
        non-zero exit code instead of being skipped (a directory stands
        where a language file goes)."""
        blocked = os.path.join(self.folder, 'ORVELLE-de.lng')
        os.unlink(blocked)
        os.makedirs(os.path.join(blocked, 'in-the-way'))
        self.assertNotEqual(self.wine(self.setup, '/S').returncode, 0, 'the install skipped a file')
        shutil.rmtree(blocked)
        self.install()

    def test_install_upgrade_reinstall_uninstall(self):
        with open(self.setup, 'rb') as f:
            self.assertIn(b'level="asInvoker"', f.read(), 'the installer would ask for administrator rights')

        self.install()
        self.check_installed()
        self.upgrade_through_shortcut()
        self.refused_while_running()
        self.refused_for_a_mark_it_may_not_look_at()
        self.stopped_by_a_failing_uninstaller()
        self.fails_on_unwritable_file()

        # The user's files: settings (written at the close), history, the
        # line of the last run (left by the upgrade above), option file.
        history = os.path.join(self.folder, 'History', 'upgrades.csv')
        os.makedirs(os.path.dirname(history), exist_ok=True)
        with open(history, 'wb') as f:
            f.write(HISTORY)
        user_files = {}
        for name in ('ORVELLE.ini', os.path.join('History', 'upgrades.csv'),
                     os.path.join('History', 'last-run.trace'), OPTION_FILE):
            with open(os.path.join(self.folder, name), 'rb') as f:
                user_files[name] = f.read()

        self.install()  # again, over the installed copy
        self.check_installed(user_files)
        for name, content in user_files.items():
            with open(os.path.join(self.folder, name), 'rb') as f:
                self.assertEqual(f.read(), content, '%s changed by the second install' % name)

        # Silent uninstall as the installed-programs list would run it.
        self.uninstall(self.uninstall_entry()['QuietUninstallString'])
        left = self.files()
        temp = self.unix_path(self.shell_folder('TEMP'))
        print('left after uninstall: %s; in %%TEMP%%: %s' % (left, sorted(os.listdir(temp))))
        self.assertEqual(left, sorted(user_files))
        for name, content in user_files.items():
            with open(os.path.join(self.folder, name), 'rb') as f:
                self.assertEqual(f.read(), content, name)
        self.assertFalse(os.path.exists(self.shortcut), 'shortcut left behind')
        self.assertNotIn('Orvelle', self.installed_programs())

        # With nothing of the user's left, nothing at all stays behind.
        for name in user_files:
            os.unlink(os.path.join(self.folder, name))
        os.rmdir(os.path.join(self.folder, 'History'))
        self.install()
        self.uninstall('"%s" /S' % os.path.join(self.folder, UNINSTALLER))
        self.assertFalse(os.path.exists(self.folder), 'the program folder stayed')


if __name__ == '__main__':
    run()
