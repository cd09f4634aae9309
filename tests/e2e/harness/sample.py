"""The sample radio and its option files that the end-to-end and package
tests share: a QX-5100 at V1.20 on COM1 whose record has recognisable carried
bytes around the named fields, and option files for it made with enhtool;
and the simulated radios the benchmarks time. The in-process tests' sample
transceiver is tests/support/SampleTransceiver.h.

    from harness.sample import PORT, MODEL, RECORD, enh, make_files, merged
    Radiosim(PORT, **SAMPLE_RADIO)                   # the sample radio

    make_files(app.data_dir, {'a.ENH': enh()})       # one option file
    radio.result()['final'] == merged('3fffffffffffff0f')
"""

import os
import subprocess

from .ids import Field, LinkProtocol, OptionRecord
from .radiosim import native_build_dir

PORT = 1
MODEL = 'QX-5100'
VERSION = 'V1.20'
CODE = bytes.fromhex('00000102')
OPTIONS = bytes.fromhex('3fffffffffffffff')  # option type 3

# Where the record's named fields lie (upgrade/OptionFormat.h).
MODEL_FIELD = slice(OptionRecord.kModelName, OptionRecord.kModelName + Field.kModelNameSize)
CODE_FIELD = slice(OptionRecord.kOptionCode, OptionRecord.kOptionCode + Field.kOptionCodeSize)
OPTIONS_FIELD = slice(OptionRecord.kOptionBytes, OptionRecord.kOptionBytes + Field.kOptionBytesSize)

# The radio's record: recognisable carried bytes around the named fields.
RECORD = bytearray(range(0x80, 0x80 + LinkProtocol.kRecordSize))
RECORD[MODEL_FIELD] = MODEL.encode().ljust(Field.kModelNameSize, b'\0')
RECORD[CODE_FIELD] = CODE
RECORD[OPTIONS_FIELD] = OPTIONS
RECORD = bytes(RECORD)

# radiosim's settings for the sample radio.
SAMPLE_RADIO = dict(model=MODEL, version=VERSION, record=RECORD)

# The simulated radios the benchmarks time: name, radiosim's settings, and the
# waits the protocol imposes when the radio answers at once (ms): the
# old-transceiver handshake's unanswered wait (100) for any new transceiver,
# 100 per scan rate tried before the transceiver's own, and the 55 ms pause of
# the version request. The old transceiver skips the scan.
BENCH_RADIOS = [
    ('new, 9600 baud', dict(kind='new', baud=9600), 100 + 55),
    ('new, 38400 baud', dict(kind='new', baud=38400), 100 + 2 * 100 + 55),
    ('old', dict(kind='old'), 55),
]


def enh(model=MODEL, min_version='V1.00', rule='required', entries=(('00000102', 3, '0fffffffffffff0f'),)):
    """An option file's description in enhtool's language."""
    lines = ['model "%s"' % model, 'min-version "%s"' % min_version, 'rule %s' % rule]
    lines += ['entry code=%s type=%d mask=%s' % e for e in entries]
    return '\n'.join(lines) + '\n'


def merged(*masks):
    """RECORD with the masks ANDed into its option bytes."""
    out = bytearray(RECORD)
    for m in masks:
        for i, b in enumerate(bytes.fromhex(m)):
            out[OptionRecord.kOptionBytes + i] &= b
    return bytes(out)


def enhtool():
    return os.path.join(native_build_dir(), 'tools', 'enhtool', 'enhtool')


def make_files(folder, files):
    """files: {name: description, or 'dir' for a folder of that name}."""
    os.makedirs(folder, exist_ok=True)
    for name, description in files.items():
        path = os.path.join(folder, name)
        if description == 'dir':
            os.makedirs(path)
        else:
            subprocess.run([enhtool(), 'make', '-', path], input=description.encode(), check=True)
