"""The end-to-end harness: the real programs under Wine, worked through their
windows (ui), against the simulated transceiver (radiosim), with the control
ids and text numbers of the headers the program is built from (ids)."""

import os

SOURCE_DIR = os.environ.get('ORVELLE_SOURCE_DIR') or os.path.abspath(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..'))
