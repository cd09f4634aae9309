"""The support file as a test reads it back: its parts, in order, each with
its lines."""

import re

# The parts' headings, in the order the file has them.
SUPPORT_PARTS = ['Program', 'Language file', 'Settings', 'Serial ports', 'Option location', 'History',
                 "Last run's byte trace"]


def support_parts(path):
    """{heading: [non-empty lines]} of the support file at path (UTF-8, each
    line ended by CR LF; a bare LF raises ValueError)."""
    with open(path, 'rb') as f:
        text = f.read().decode('utf-8')
    if '\n' in text.replace('\r\n', ''):
        raise ValueError('%s: a line ends without CR LF' % path)
    parts, lines = {}, None
    for line in text.split('\r\n'):
        m = re.match(r'^== (.+) ==$', line)
        if m:
            lines = parts.setdefault(m.group(1), [])
        elif lines is not None and line:
            lines.append(line)
    return parts
