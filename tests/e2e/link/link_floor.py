"""Benchmark (not a test): the floor under an upgrade's time on the line.
link_session plays the exchanges of one upgrade (open, begin, identity,
version, record, write, end) with only the link library's calls: no option
files, no merge, no history, no trace. Timed as the upgrade benchmark times a
run, from radiosim's byte log (the old-transceiver handshake heard to the
answer to "E"), so that the two can be set side by side and what the program
adds shows as the difference and the ratio.

    ORVELLE_BUILD_DIR=build/win64 ORVELLE_NATIVE_BUILD_DIR=build/native \\
        WINEPREFIX=$PWD/build/win64/wp-bench python3 tests/e2e/link/link_floor.py [runs]

Each transceiver kind runs `runs` sessions (default 9) in one Wine process.
"""

import os
import statistics
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness.bench import link_spans  # noqa: E402
from harness.orvelle import WineSession, wine_run  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.sample import BENCH_RADIOS  # noqa: E402

PORT = 3
RUNS = 9


def session_exe():
    return os.path.join(os.environ["ORVELLE_BUILD_DIR"], "tests", "e2e", "link", "link_session.exe")


def floor_spans(session, settings, runs=RUNS, port=PORT):
    """The link spans of `runs` bare sessions against a radio with these
    settings, in one process."""
    with Radiosim(port, prefix=session.prefix, workdir=tempfile.mkdtemp(prefix="link-floor-"),
                  **settings) as radio:
        p = subprocess.run([wine_run(), session_exe(), str(port), "--repeat", str(runs)],
                           env=radio.wine_env(session.env), stdout=subprocess.PIPE, text=True, timeout=600)
    spans = link_spans(radio.log(), starts=lambda line: line.data.startswith(b"FLFM96K"))
    if p.returncode != 0 or len(spans) != runs:
        raise RuntimeError("link_session failed (exit %d, %d sessions)" % (p.returncode, len(spans)))
    return spans


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else RUNS
    session = WineSession().start(need_program=False, windows=False)
    try:
        print("%-16s %9s %9s %9s" % ("transceiver", "median", "min", "imposed"))
        for name, settings, imposed in BENCH_RADIOS:
            spans = floor_spans(session, settings, runs)
            print("%-16s %7.1fms %7.1fms %7dms" % (name, statistics.median(spans), min(spans), imposed))
        print("medians of %d sessions, radiosim's view" % runs)
    finally:
        session.stop()


if __name__ == "__main__":
    main()
