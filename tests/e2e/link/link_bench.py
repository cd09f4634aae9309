"""Benchmark (not a test): how long one full session sequence takes (open,
begin, identity, version, record, write, end) with radiosim answering at
once, next to the waits the protocol itself imposes on that transceiver.

    ORVELLE_NATIVE_BUILD_DIR=build/native WINEPREFIX=/tmp/wp-bench \\
        python3 tests/e2e/link/link_bench.py build/win32/tests/e2e/link/link_session.exe [runs]

Each transceiver kind runs `runs` sessions (default 20) in one Wine process,
so Wine's start-up is not counted; times come from the program's own clock.
"""

import os
import statistics
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness.orvelle import WineSession, wine_run  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.sample import BENCH_RADIOS  # noqa: E402

PORT = 3

STEPS = ["open", "begin", "identity", "version", "record", "write", "end"]


def main():
    exe = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    session = WineSession().start(need_program=False, windows=False)
    try:
        measure(exe, runs, session)
    finally:
        session.stop()


def measure(exe, runs, session):
    print("%-16s %9s %9s %9s %9s   %s" % ("transceiver", "median", "min", "imposed", "overhead",
                                         "median per step: " + " ".join(STEPS)))
    for name, settings, imposed in BENCH_RADIOS:
        with Radiosim(PORT, prefix=session.prefix, **settings) as radio:
            p = subprocess.run([wine_run(), exe, str(PORT), "--repeat", str(runs)],
                               env=radio.wine_env(session.env), stdout=subprocess.PIPE, text=True, timeout=600)
        sessions, steps = [], {s: [] for s in STEPS}
        for line in p.stdout.splitlines():
            parts = line.split()
            if parts and parts[0] == "session":
                sessions.append(float(parts[1]))
            elif parts and parts[0] == "step" and parts[1] in steps:
                steps[parts[1]].append(float(parts[3]))
        if p.returncode != 0 or len(sessions) != runs:
            print("%-16s failed (exit %d, %d sessions)" % (name, p.returncode, len(sessions)))
            continue
        med = statistics.median(sessions)
        print("%-16s %7.1fms %7.1fms %7dms %7.1fms   %s" % (
            name, med, min(sessions), imposed, med - imposed,
            " ".join("%.1f" % statistics.median(steps[s]) for s in STEPS)))


if __name__ == "__main__":
    main()
