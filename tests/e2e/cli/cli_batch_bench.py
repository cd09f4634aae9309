"""Benchmark (not a test): `orvelle-cli upgrade --each` over a batch of ten
radios that radiosim plugs in one after another, each once the loop has
taken the one before for gone and a little while after it went (times spread
over a second, so that a radio comes at every point of the loop's attempts).

    ORVELLE_BUILD_DIR=build/win64 ORVELLE_NATIVE_BUILD_DIR=build/native \\
        WINEPREFIX=$PWD/build/win64/wp-bench python3 tests/e2e/cli/cli_batch_bench.py [radios]

Per radio, from radiosim's "radio N comes" (its clock, the byte log's):
  noticed  until the radio's first answer: how long the loop took to try the
           port again once the radio was there;
  line     until the radio's line was on the tool's stdout, less a single
           upgrade's link time (first byte heard to the answer to "E", from
           single `upgrade` runs against the same radio): what the batch adds.
Medians are printed; nothing is asserted.
"""

import os
import statistics
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
from harness.bench import cli_bench_folder, link_spans  # noqa: E402
from harness.orvelle import windows_path  # noqa: E402
from harness.radiosim import Radiosim  # noqa: E402
from harness.sample import PORT, SAMPLE_RADIO, enh, make_files  # noqa: E402

SINGLE_RUNS = 3


def lines_with_times(stream, into):
    """Each line of the stream with the wall-clock time it arrived."""
    for raw in iter(stream.readline, b''):
        into.append((time.time(), raw.decode('cp1252').rstrip('\r\n')))


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    with cli_bench_folder('cli-batch-bench') as (folder, exe, env):
        data = os.path.join(folder, 'Data')
        make_files(data, {'a.ENH': enh()})
        upgrade = ['wine', exe, 'upgrade', '--port', str(PORT), '--folder', windows_path(data), '--no-history']
        with Radiosim(PORT, workdir=os.path.join(folder, 'radiosim-single'), **SAMPLE_RADIO) as radio:
            for _ in range(SINGLE_RUNS):
                p = subprocess.run(upgrade, env=radio.wine_env(env), cwd=folder, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, timeout=120)
                if p.returncode != 0:
                    raise RuntimeError('upgrade failed: %r %s' % (p.returncode, p.stderr))
        single = statistics.median(link_spans(radio.log()))

        # Each comes once the loop has taken the one before for gone (two
        # unanswered attempts: radiosim's default) and a while after it went:
        # a radio plugged in sooner would answer the loop's check for the one
        # before, which then never goes.
        radios = [dict(identity_rest='SN-%02d' % n, gap_ms=200 + (n * 373) % 1000) for n in range(1, count + 1)]
        out, err = [], []
        with Radiosim(PORT, workdir=os.path.join(folder, 'radiosim-batch'), radios=radios,
                      **SAMPLE_RADIO) as radio:
            proc = subprocess.Popen(upgrade + ['--each', '--count', str(count)], env=radio.wine_env(env),
                                    cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            readers = [threading.Thread(target=lines_with_times, args=(proc.stdout, out)),
                       threading.Thread(target=lines_with_times, args=(proc.stderr, err))]
            for reader in readers:
                reader.start()
            proc.wait(timeout=60 * count)
            for reader in readers:
                reader.join()
            if proc.returncode != 0:
                raise RuntimeError('batch failed: %r %s' % (proc.returncode, err))
        log = radio.log()

        comes = [l.t for l in log if l.what == 'ev' and str(l.data).startswith('radio ') and ' comes' in str(l.data)]
        printed = [t for t, line in out if line[:1].isdigit() and '  COM' in line]
        noticed = []
        for come in comes:
            answers = [l.t for l in log if l.what == 'tx' and l.t >= come]
            if answers:
                noticed.append((answers[0] - come) * 1000)
        added = [(line - come) * 1000 - single for come, line in zip(comes, printed)]
        print('%d radios; a single upgrade\'s link time %.0f ms (median of %d)' % (len(printed), single,
                                                                                   SINGLE_RUNS))
        print('noticed   median %6.0f ms   (%s)' % (statistics.median(noticed),
                                                   ' '.join('%.0f' % n for n in noticed)))
        print('line      median %6.0f ms   (%s)' % (statistics.median(added), ' '.join('%.0f' % a for a in added)))


if __name__ == '__main__':
    main()
