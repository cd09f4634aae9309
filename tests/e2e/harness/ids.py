"""Control ids, language text numbers and the option record's layout, read
from the headers the program is built from, so a test names them as the C++
code does:

    from harness.ids import Res, TextNo, OptionRecord, Field

    app.click(Res.IDC_UPGRADE)                      # res/resource.h
    self.lng[TextNo.kNoOptionFileInFolder]          # text/TextNumbers.h
    record[OptionRecord.kOptionBytes]               # upgrade/OptionFormat.h

A name the header does not declare is an AttributeError, so a renamed id
fails the test that uses it instead of testing another control.
"""

import os
import re

from . import SOURCE_DIR

_DEFINE = re.compile(r'^\s*#\s*define\s+(\w+)\s+\(?\s*(-?(?:0[xX][0-9a-fA-F]+|\d+))\s*\)?\s*(?://.*)?$')
_CONSTANT = re.compile(r'^\s*constexpr\s+(?:int|unsigned|std::size_t)\s+(\w+)\s*=\s*(-?(?:0[xX][0-9a-fA-F]+|\d+))\s*;')
_NAMESPACE = re.compile(r'^\s*namespace\s+(\w+)\s*\{')


class Names:
    """The numbers one header declares, as attributes."""

    def __init__(self, path, numbers):
        self._path = path
        self._numbers = dict(numbers)
        if not self._numbers:
            raise ValueError('%s declares no numbers' % path)

    def __getattr__(self, name):
        try:
            return self._numbers[name]
        except KeyError:
            raise AttributeError('%s declares no %s' % (self._path, name)) from None

    def __contains__(self, name):
        return name in self._numbers

    def items(self):
        return self._numbers.items()


def read_defines(path):
    """Every `#define NAME number` of a header (a resource header)."""
    with open(path, encoding='utf-8') as f:
        return Names(path, ((m.group(1), int(m.group(2), 0)) for m in map(_DEFINE.match, f) if m))


def read_constants(path, namespace):
    """Every `constexpr int (or unsigned, std::size_t) kName = number;` inside
    `namespace <namespace> {`; namespace None: those outside every namespace.
    A constant given by another name is left out."""
    numbers, current = {}, None
    with open(path, encoding='utf-8') as f:
        for line in f:
            opened = _NAMESPACE.match(line)
            if opened:
                current = opened.group(1)
            elif current is not None and line.lstrip().startswith('}'):
                current = None
            elif current == namespace:
                m = _CONSTANT.match(line)
                if m:
                    numbers[m.group(1)] = int(m.group(2), 0)
    return Names('%s (namespace %s)' % (path, namespace), numbers)


def source_path(*parts):
    return os.path.join(SOURCE_DIR, *parts)


# The program's resource ids: dialogs, controls, menu commands.
Res = read_defines(source_path('res', 'resource.h'))
# The language texts' numbers (the language file holds them in this order).
TextNo = read_constants(source_path('text', 'TextNumbers.h'), 'TextNo')
# The frames' sizes (kRecordSize, kIdentitySize).
LinkProtocol = read_constants(source_path('link', 'LinkProtocol.h'), 'LinkProtocol')
# The option record's named offsets (kModelName, kOptionCode, kOptionBytes),
# and the widths of its fields (kModelNameSize, kOptionCodeSize, ...).
OptionRecord = read_constants(source_path('upgrade', 'OptionFormat.h'), 'OptionRecord')
Field = read_constants(source_path('upgrade', 'OptionFormat.h'), None)
