"""Benchmark (not a test): one complete upgrade against radiosim answering at
once, from the Upgrade click to the outcome box, next to the waits the
protocol imposes on that transceiver (a new transceiver at 9600 baud: the
unanswered old-transceiver handshake, 100 ms, and the version request's
pause, 55 ms), and next to the floor: the same exchanges played by the link
library alone (tests/e2e/link/link_floor.py), so that the program's own share
shows as the difference and the ratio.

    ORVELLE_BUILD_DIR=build/win32 ORVELLE_NATIVE_BUILD_DIR=build/native \\
        WINEPREFIX=/tmp/wp-bench python3 tests/e2e/upgrade/upgrade_bench.py [runs]

One program runs `runs` upgrades in a row (default 9, the medians' count), so
Wine's start-up is not counted; the floor runs as many sessions. The click-to-box time includes the UI driver's polling; the
link's part comes from radiosim's byte log (first byte heard to the last
answer sent).
"""

import os
import statistics
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleApp, WineSession, language  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.sample import BENCH_RADIOS, PORT, SAMPLE_RADIO, enh, make_files  # noqa: E402
from harness.ui import IDOK  # noqa: E402
from link.link_floor import RUNS, floor_spans, link_spans  # noqa: E402

# The sample radio, new at 9600 baud: the first of the benchmarks' radios.
RADIO_NAME, RADIO_SETTINGS, IMPOSED_MS = BENCH_RADIOS[0]


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else RUNS
    lng = language()
    session = WineSession()
    session.start()
    radio = None
    try:
        work = os.path.join(os.environ['ORVELLE_BUILD_DIR'], 'bench-work')
        os.makedirs(work, exist_ok=True)
        app = OrvelleApp(session, ini={'ComPort': str(PORT), 'Mode': '1'}, work_root=work)
        make_files(app.data_dir, {'a.ENH': enh(entries=(('00000102', 3, '0fffffffffffffff'),))})
        radio = Radiosim(port=PORT, prefix=session.prefix, workdir=os.path.join(app.folder, 'radiosim'),
                         **SAMPLE_RADIO, **RADIO_SETTINGS)
        radio.start()
        app.start_past_warnings(env=radio.wine_env(session.env))
        drv = session.driver
        clicks = []
        for _ in range(runs):
            start = time.monotonic()
            drv.click(app.hwnd, Res.IDC_UPGRADE)
            box = app.message_box(timeout_ms=30000)
            clicks.append((time.monotonic() - start) * 1000)
            assert box.text.replace('\r\n', '\n') == lng[TextNo.kRecordWritten], box.text
            drv.press(box, IDOK)
            drv.wait_until(lambda: app.caption() == lng[TextNo.kAppTitle], timeout=10, what='the dialog unlocked')
        app.close()
        radio.stop()

        # The link's part of each run, and of the bare sessions on a fresh
        # radio of the same kind.
        links = link_spans(radio.log())
        floor = floor_spans(session, dict(SAMPLE_RADIO, **RADIO_SETTINGS), runs)

        print('%d upgrades of a %s transceiver, radiosim answering at once' % (runs, RADIO_NAME))
        print('  click to outcome box   median %7.1f ms   min %7.1f ms' % (statistics.median(clicks), min(clicks)))
        if links:
            print('  link (radiosim log)    median %7.1f ms   min %7.1f ms' % (statistics.median(links), min(links)))
        print('  floor (link library)   median %7.1f ms   min %7.1f ms' % (statistics.median(floor), min(floor)))
        if links:
            added = statistics.median(links) - statistics.median(floor)
            print('  program-added time     median %7.1f ms   link / floor %.2f' %
                  (added, statistics.median(links) / statistics.median(floor)))
        print('  waits the protocol imposes      %7.1f ms' % IMPOSED_MS)
    finally:
        if radio is not None:
            radio.stop()
        session.stop()


if __name__ == '__main__':
    main()
