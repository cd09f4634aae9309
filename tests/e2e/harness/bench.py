"""What the benchmarks share: the link's time read from radiosim's byte log,
and a folder with orvelle-cli.exe run as a user's desktop would run it."""

import contextlib
import os
import shutil
import subprocess
import tempfile

from .orvelle import SOURCE_DIR, build_dir
from .wineenv import wine_env


def link_spans(log, starts=None):
    """Per connection in radiosim's log: from its first byte heard (the first
    received line `starts` accepts, where given) to the radio's answer to
    "E", in ms."""
    spans, first, ending = [], None, False
    for line in log:
        if line.what in ('rx', 'rx-') and first is None and (starts is None or starts(line)):
            first, ending = line.t, False
        elif line.what == 'rx' and line.data == b'E':
            ending = True
        elif line.what == 'tx' and ending and first is not None:
            spans.append((line.t - first) * 1000)
            first, ending = None, False
    return spans


@contextlib.contextmanager
def cli_bench_folder(name):
    """Yields (folder, exe, env): a fresh folder with orvelle-cli.exe and
    ORVELLE.lng, in the prefix $WINEPREFIX, with the wineserver and Wine's
    own background programs kept running, as on a desktop (started without
    our pipes, which they would hold open). The server ends with the block."""
    env = wine_env(os.environ['WINEPREFIX'])
    subprocess.run([os.path.join(SOURCE_DIR, 'scripts', 'wine-prefix'), env['WINEPREFIX']], env=env, check=True)
    folder = tempfile.mkdtemp(prefix=name + '-')
    exe = os.path.join(folder, 'orvelle-cli.exe')
    shutil.copy(os.path.join(build_dir(), 'cli', 'orvelle-cli.exe'), exe)
    shutil.copy(os.path.join(SOURCE_DIR, 'res', 'ORVELLE.lng'), folder)
    subprocess.run(['wineserver', '-p'], env=env, check=True)
    subprocess.run(['wine', exe, '--version'], env=env, cwd=folder, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)
    try:
        yield folder, exe, env
    finally:
        subprocess.run(['wineserver', '-k'], env=env, stderr=subprocess.DEVNULL)
        shutil.rmtree(folder, ignore_errors=True)
