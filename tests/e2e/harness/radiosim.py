"""Starts the simulated transceiver (tools/radiosim) on a COM port of a Wine
prefix and reads what it leaves behind.

    from harness.radiosim import Radiosim

    with Radiosim(port=3, kind="new", baud=38400, write="nak") as radio:
        subprocess.run(["wine", "linktest.exe", "3"], env=radio.wine_env(), ...)
    radio.result()   # {"written": [(bytes, "ack"), ...], "final": bytes, "radios": {}}
    radio.log()      # [LogLine(t, what, baud, data | text), ...]

A batch of radios, one after another on the same port (radios=[...], one
dict of radio.N settings per radio, in the order they come):

    with Radiosim(port=3, baud=38400, radios=[
            {"identity_rest": "SN-1", "leave": "sessions:2"},
            {"model": "QM-3390", "identity_rest": "SN-2"},
            {"same_as": 1}]) as radio:
        ...
    radio.result()["radios"][3]   # {"state": "gone", "sessions": 1, "identity": bytes,
                                  #  "same_as": 1, "written": [(bytes, "ack")], "final": bytes}

The prefix is $WINEPREFIX unless given; its ports/comN (a placeholder socket
made by scripts/wine-prefix) is replaced by a link to radiosim's pty while the
radio runs and put back afterwards. Settings are radiosim's config keys
(see tools/radiosim/README.md) as keyword arguments; bytes values are passed
as hex; radios=[{...}, ...] gives the radio.N.KEY settings of a batch. Wine processes that use the port need wine_env(): the pty shim
preloaded, so the modem-line calls succeed on a pty, and its log of DTR/RTS
changes (modem_lines()).
"""

import os
import shutil
import socket
import subprocess
import tempfile
import time
from collections import namedtuple

from .wineenv import wine_env

LogLine = namedtuple("LogLine", "t what baud data")


def native_build_dir():
    d = os.environ.get("ORVELLE_NATIVE_BUILD_DIR")
    if not d:
        raise RuntimeError("ORVELLE_NATIVE_BUILD_DIR is not set")
    # Absolute: Wine programs run in folders of their own, and the pty shim
    # is preloaded by path.
    return os.path.abspath(d)


def radiosim_path():
    return os.path.join(native_build_dir(), "tools", "radiosim", "radiosim")


def shim_preload():
    """LD_PRELOAD value for the pty shim; the literal $LIB lets the loader
    pick the 32- or 64-bit copy for each process."""
    return os.path.join(native_build_dir(), "tools", "ptyshim", "$LIB", "libptyshim.so")


class Radiosim:
    def __init__(self, port, prefix=None, workdir=None, ready_timeout=10.0, radios=None, **settings):
        self.port = int(port)
        self.prefix = prefix or os.environ["WINEPREFIX"]
        self.link = os.path.join(self.prefix, "ports", "com%d" % self.port)
        self.workdir = workdir or tempfile.mkdtemp(prefix="radiosim-")
        os.makedirs(self.workdir, exist_ok=True)
        self.log_path = os.path.join(self.workdir, "radiosim.log")
        self.result_path = os.path.join(self.workdir, "radiosim.result")
        self.shim_log_path = os.path.join(self.workdir, "modem-lines.log")
        self.settings = dict(settings)
        # Radio N's settings (numbered from 1) as radiosim's radio.N.KEY.
        for number, radio in enumerate(radios or [], 1):
            for key, value in radio.items():
                self.settings["radio.%d.%s" % (number, key)] = value
        self.ready_timeout = ready_timeout
        self.proc = None
        self.slave = None
        self._placeholder = None

    # -- life cycle -------------------------------------------------------
    def start(self):
        for p in (self.log_path, self.result_path, self.shim_log_path):
            if os.path.exists(p):
                os.unlink(p)
        self._placeholder = self._save_placeholder()
        args = [radiosim_path(), "--link", self.link, "--log", self.log_path,
                "--result", self.result_path]
        for key, value in self.settings.items():
            if isinstance(value, (bytes, bytearray)):
                value = "hex:" + bytes(value).hex()
            args += ["--" + key, str(value)]
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True)
        line = self._read_ready()
        if not line.startswith("ready "):
            err = self.proc.stderr.read() if self.proc.poll() is not None else ""
            self.stop()
            raise RuntimeError("radiosim did not start: %r %s" % (line, err))
        self.slave = line.split(" ", 1)[1].strip()
        return self

    def _read_ready(self):
        # radiosim prints one line once its link is in place.
        import selectors
        sel = selectors.DefaultSelector()
        sel.register(self.proc.stdout, selectors.EVENT_READ)
        if not sel.select(self.ready_timeout):
            return ""
        return self.proc.stdout.readline()

    def stop(self):
        """Ends radiosim (SIGTERM) and puts the port's placeholder back."""
        if self.proc is not None:
            if self.proc.poll() is None:
                self.proc.terminate()
                try:
                    self.proc.wait(10)
                except subprocess.TimeoutExpired:
                    self.proc.kill()
                    self.proc.wait()
            self.returncode = self.proc.returncode
            self.stderr = self.proc.stderr.read() if self.proc.stderr else ""
            self.proc.stdout.close()
            self.proc.stderr.close()
            self.proc = None
        self._restore_placeholder()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    def _save_placeholder(self):
        try:
            st = os.lstat(self.link)
        except FileNotFoundError:
            return None
        import stat
        if stat.S_ISSOCK(st.st_mode):
            return "socket"
        if stat.S_ISLNK(st.st_mode):
            return ("link", os.readlink(self.link))
        return None

    def _restore_placeholder(self):
        if self._placeholder is None:
            return
        if os.path.lexists(self.link):
            os.unlink(self.link)
        if self._placeholder == "socket":
            # The ports folder links to a short one (scripts/wine-prefix):
            # bound by the real path, the socket's stays within 108 bytes.
            ports = os.path.realpath(os.path.dirname(self.link))
            s = socket.socket(socket.AF_UNIX)
            s.bind(os.path.join(ports, os.path.basename(self.link)))
            s.close()
        else:
            os.symlink(self._placeholder[1], self.link)
        self._placeholder = None

    # -- what a Wine process needs ------------------------------------------
    def wine_env(self, base=None):
        env = dict(os.environ if base is None else base)
        pre = shim_preload()
        env["LD_PRELOAD"] = pre + (" " + env["LD_PRELOAD"] if env.get("LD_PRELOAD") else "")
        env["ORVELLE_PTYSHIM_LOG"] = self.shim_log_path
        return wine_env(self.prefix, env)

    # -- what radiosim left behind -----------------------------------------
    def result(self):
        """{"written": [(record bytes, answer), ...], "final": bytes,
        "radios": {number: radio}}: every write frame the line got and the
        record of the radio there now (or last); for a batch, per radio (from
        1) {"state": "waiting"|"present"|"gone", "sessions": sessions that
        read its identity, "identity": bytes, "same_as": number or None,
        "written": [(record bytes, answer), ...], "final": bytes}."""
        out = {"written": [], "final": None, "radios": {}}
        if not os.path.exists(self.result_path):
            return out
        with open(self.result_path) as f:
            for line in f:
                parts = line.split()
                if parts and parts[0] == "written":
                    out["written"].append((bytes.fromhex(parts[1]), parts[2] if len(parts) > 2 else ""))
                elif parts and parts[0] == "final":
                    out["final"] = bytes.fromhex(parts[1])
                elif len(parts) >= 4 and parts[0] == "radio":
                    self._radio_line(out["radios"], int(parts[1]), parts[2:])
        return out

    @staticmethod
    def _radio_line(radios, number, parts):
        # radio N <state> sessions K identity HEX [same_as M] | written HEX ANSWER | final HEX
        radio = radios.setdefault(number, {"state": None, "sessions": 0, "identity": None, "same_as": None,
                                           "written": [], "final": None})
        if parts[0] == "written":
            radio["written"].append((bytes.fromhex(parts[1]), parts[2] if len(parts) > 2 else ""))
        elif parts[0] == "final":
            radio["final"] = bytes.fromhex(parts[1])
        else:
            fields = dict(zip(parts[1::2], parts[2::2]))
            radio["state"] = parts[0]
            radio["sessions"] = int(fields.get("sessions", 0))
            radio["identity"] = bytes.fromhex(fields["identity"]) if "identity" in fields else None
            radio["same_as"] = int(fields["same_as"]) if "same_as" in fields else None

    def events(self):
        """The text of every event line of the log, in order (for a batch:
        "radio N comes ...", "radio N goes ...", "record written to radio N,
        answer ack")."""
        return [l.data for l in self.log() if l.what == "ev"]

    def log(self):
        """Every line of the byte log; data is bytes for rx/rx-/tx, the text
        for ev lines (baud None)."""
        lines = []
        if not os.path.exists(self.log_path):
            return lines
        with open(self.log_path) as f:
            for raw in f:
                parts = raw.rstrip("\n").split(" ")
                if len(parts) < 2:
                    continue
                t, what = float(parts[0]), parts[1]
                if what == "ev":
                    lines.append(LogLine(t, what, None, " ".join(parts[2:])))
                else:
                    lines.append(LogLine(t, what, int(parts[2]), bytes.fromhex("".join(parts[3:]))))
        return lines

    def story(self, last=40):
        """For a failure message: the end of the byte log, a line each."""
        return "\n".join("%9.3f %-3s %s" % (l.t, l.what, l.data.hex(" ") if isinstance(l.data, bytes) else l.data)
                         for l in self.log()[-last:])

    def received(self, heard_only=True):
        """All bytes the PC sent, in order (only those the radio heard, unless
        heard_only is False)."""
        kinds = ("rx",) if heard_only else ("rx", "rx-")
        return b"".join(l.data for l in self.log() if l.what in kinds)

    def sent(self):
        return b"".join(l.data for l in self.log() if l.what == "tx")

    def modem_lines(self):
        """[(request, dtr, rts), ...] for every modem-line change a Wine
        process made on a pty, in order."""
        out = []
        if not os.path.exists(self.shim_log_path):
            return out
        with open(self.shim_log_path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 5:
                    out.append((parts[2], int(parts[3].split("=")[1]), int(parts[4].split("=")[1])))
        return out

    def keep_artifacts(self, name):
        """Copies the log, result and modem-line log to
        $ORVELLE_ARTIFACTS_DIR/<name>/ (if set)."""
        base = os.environ.get("ORVELLE_ARTIFACTS_DIR")
        if not base:
            return
        dest = os.path.join(base, name)
        os.makedirs(dest, exist_ok=True)
        for p in (self.log_path, self.result_path, self.shim_log_path):
            if os.path.exists(p):
                shutil.copy(p, dest)
