"""Benchmark (not a test): how long `orvelle-cli identify` takes against
radiosim answering at once, next to the waits the protocol itself imposes on
that transceiver, and next to a bare start of the program (--version).

    ORVELLE_BUILD_DIR=build/win64 ORVELLE_NATIVE_BUILD_DIR=build/native \\
        WINEPREFIX=$PWD/build/win64/wp-bench python3 tests/e2e/cli/cli_bench.py [runs]

Each transceiver kind gets `runs` identify runs (default 10), each a new
process as a user would start it, with the wineserver kept running. The
link's part comes from radiosim's byte log: from the first byte heard to
the radio's answer to "E".
"""

import os
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.bench import cli_bench_folder, link_spans  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.sample import BENCH_RADIOS  # noqa: E402

PORT = 3



def timed(cmd, env, cwd):
    start = time.monotonic()
    p = subprocess.run(cmd, env=env, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return (time.monotonic() - start) * 1000, p


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    with cli_bench_folder('cli-bench') as (folder, exe, env):
        print('%-16s %10s %10s %10s %10s' % ('transceiver', 'identify', 'link', 'imposed', 'link-imposed'))
        for name, settings, imposed in BENCH_RADIOS:
            with Radiosim(PORT, workdir=os.path.join(folder, 'radiosim-' + settings['kind']), **settings) as radio:
                walls = []
                for _ in range(runs):
                    ms, p = timed(['wine', exe, 'identify', '--port', str(PORT)], radio.wine_env(env), folder)
                    if p.returncode != 0:
                        raise RuntimeError('identify failed: %r %s' % (p.returncode, p.stderr))
                    walls.append(ms)
            links = link_spans(radio.log())
            print('%-16s %8.1fms %8.1fms %8dms %8.1fms' % (name, statistics.median(walls), statistics.median(links),
                                                         imposed, statistics.median(links) - imposed))
        bare = [timed(['wine', exe, '--version'], env, folder)[0] for _ in range(runs)]
        print('%-16s %8.1fms   (the program started and ended: Wine\'s share)' % ('--version', statistics.median(bare)))
        print('medians of %d runs; identify is the whole process, link the radio\'s view' % runs)

if __name__ == '__main__':
    main()
