"""Benchmark (not a test): one complete upgrade against radiosim answering at
once, from the Upgrade click to the outcome box, next to the waits the
protocol imposes on that transceiver (a new transceiver at 9600 baud: the
unanswered old-transceiver handshake, 100 ms, and the version request's
pause, 55 ms).

    ORVELLE_BUILD_DIR=build/win32 ORVELLE_NATIVE_BUILD_DIR=build/native \\
        WINEPREFIX=/tmp/wp-bench python3 tests/e2e/upgrade/upgrade_bench.py [runs]

One program runs `runs` upgrades in a row (default 10), so Wine's start-up is
not counted. The click-to-box time includes the UI driver's polling; the
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

# The sample radio, new at 9600 baud: the first of the benchmarks' radios.
RADIO_NAME, RADIO_SETTINGS, IMPOSED_MS = BENCH_RADIOS[0]


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10
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

        # The link's part of each run: from the old-transceiver handshake
        # heard to the radio's answer to "E".
        links, first, ending = [], None, False
        for line in radio.log():
            if line.what in ('rx', 'rx-') and line.data.startswith(b'FLFM96K'):
                first, ending = line.t, False
            elif line.what == 'rx' and line.data == b'E':
                ending = True
            elif line.what == 'tx' and ending and first is not None:
                links.append((line.t - first) * 1000)
                first, ending = None, False

        print('%d upgrades of a %s transceiver, radiosim answering at once' % (runs, RADIO_NAME))
        print('  click to outcome box   median %7.1f ms   min %7.1f ms' % (statistics.median(clicks), min(clicks)))
        if links:
            print('  link (radiosim log)    median %7.1f ms   min %7.1f ms' % (statistics.median(links), min(links)))
        print('  waits the protocol imposes      %7.1f ms' % IMPOSED_MS)
    finally:
        if radio is not None:
            radio.stop()
        session.stop()


if __name__ == '__main__':
    main()
