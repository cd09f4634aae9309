"""End-to-end link tests: the link library's session sequence under Wine,
on a COM port whose other end is radiosim. Each case checks what the program
printed and what radiosim saw.

    link_test.py <link_session.exe> [LinkSessions.test_<case>...]
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness.orvelle import WineTestCase, run, wine_run  # noqa: E402

PORT = 3

SYN, ACK, NAK = b"\x16", b"\x06", b"\x15"
RECORD = bytes(range(0x40, 0x40 + 50))
MASK = "f0f0f0f0f0f0f0f0"  # the program ANDs this into option bytes 42..49
WRITTEN = RECORD[:42] + bytes(b & 0xF0 for b in RECORD[42:])


class LinkSessions(WineTestCase):
    """One link_session.exe run (or two) per case, against radiosim."""

    NEEDS_PROGRAM = False  # link_session.exe, not ORVELLE.exe
    WINDOWS = False
    EXE = None             # set from the command line

    def setUp(self):
        super().setUp()
        self.last = {}  # the last session's facts, shown when the case fails

    def tearDown(self):
        if self.failed() and self.last:
            print("program output:\n%s%s\nradiosim log: %s" % (self.last.get("out", ""), self.last.get("stderr", ""),
                                                              self.last.get("radio_log", "")))
        super().tearDown()

    def radio(self, case, **settings):
        return self.radiosim(PORT, workdir=os.path.join(self.work_root, "link", case), **settings)

    def run_session(self, radio, *args, timeout=120):
        start = time.time()
        p = subprocess.run([wine_run(), self.EXE, str(PORT)] + list(args), env=radio.wine_env(self.session.env),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=timeout)
        out = p.stdout.replace("\r\n", "\n")
        facts = {"box": [], "step": {}}
        for line in out.splitlines():
            key, _, rest = line.partition(" ")
            if key == "box":
                facts["box"].append(rest)
            elif key == "step":
                name, result, ms = rest.split()
                facts["step"][name] = (int(result), float(ms))
            else:
                facts[key] = rest
        facts["rc"] = p.returncode
        facts["out"] = out
        facts["wall"] = time.time() - start
        self.last = dict(facts, stderr=p.stderr, radio_log=radio.log_path)
        return facts

    def check(self, cond, what):
        self.assertTrue(cond, what)

    def common_success_checks(self, radio, facts, programming_rate):
        check = self.check
        check(facts["rc"] == 0, "session succeeded")
        check(facts["box"] == [], "no message box on success")
        check(facts["record"] == RECORD.hex(), "record read byte-exact")
        check(facts["written"] == WRITTEN.hex(), "program wrote the masked record")
        res = radio.result()
        check([w for w, _ in res["written"]] == [WRITTEN], "radio received the record byte-exact, once")
        check(res["final"] == WRITTEN, "radio keeps the record written")
        heard = radio.received()
        check(heard.endswith(b"UW\xcb" + WRITTEN + b"E"), "E sent after the write")
        # Everything after the handshake went at the programming rate.
        acked = [l for l in radio.log() if l.what == "tx" and l.data == ACK]
        check(acked and acked[0].baud == programming_rate, "handshake ACK at %d baud" % programming_rate)
        self.check_rts(radio)

    def check_rts(self, radio):
        check = self.check
        check(radio.returncode == 0, "radiosim ended cleanly: %r %s" % (radio.returncode, radio.stderr))
        lines = radio.modem_lines()
        check(lines, "the pty shim saw the program's modem-line calls")
        check(all(rts == 0 for _, _, rts in lines), "RTS never raised: %r" % lines)
        check(lines[-1][1] == 1, "DTR on")

    def test_new_38400(self):
        check = self.check
        radio = self.radio("new-38400", kind="new", baud=38400, record=RECORD)
        facts = self.run_session(radio, "--mask", MASK)
        radio.stop()
        radio.keep_artifacts("link-new-38400")
        check(facts.get("old") == "0 settings 19200,N,8,2", "programming at 19200: %r" % facts.get("old"))
        log = radio.log()
        progs = [(l.what, l.baud) for l in log if l.what.startswith("rx") and l.data == b"PROGRAM"]
        check(progs == [("rx-", 9600), ("rx-", 19200), ("rx", 38400)],
              "scan tried 9600, 19200, then was heard at 38400: %r" % progs)
        check([(l.baud) for l in log if l.what == "tx" and l.data == SYN] == [38400], "SYN at 38400")
        olds = [l for l in log if l.what.startswith("rx") and l.data == b"FLFM96K"]
        check(len(olds) == 1 and olds[0].baud == 9600 and olds[0].what == "rx-",
              "old handshake tried first at 9600, not answered")
        self.common_success_checks(radio, facts, 19200)

    def test_old(self):
        check = self.check
        radio = self.radio("old", kind="old", record=RECORD)
        facts = self.run_session(radio, "--mask", MASK)
        radio.stop()
        radio.keep_artifacts("link-old")
        check(facts.get("old") == "1 settings 9600,N,8,2", "old transceiver at 9600: %r" % facts.get("old"))
        check(b"PROGRAM" not in radio.received(False), "no baud-rate scan after the old handshake")
        self.common_success_checks(radio, facts, 9600)

    def test_nak(self):
        check = self.check
        radio = self.radio("nak", write="nak", record=RECORD)
        facts = self.run_session(radio, "--mask", MASK)
        radio.stop()
        radio.keep_artifacts("link-nak")
        check(facts["step"].get("write", (None,))[0] == 6, "refused write gives 6: %r" % facts["step"])
        check("end" not in facts["step"], "the session itself ended the connection")
        check(facts["box"] == [], "a refusal shows no message box")
        res = radio.result()
        check(res["written"] == [(WRITTEN, "nak")], "radio got the record once and refused it")
        check(res["final"] == RECORD, "refused record not kept")
        check(radio.received().endswith(b"UW\xcb" + WRITTEN + b"E"), "E sent after the refusal, nothing else")
        self.check_rts(radio)

    def test_silent(self):
        check = self.check
        radio = self.radio("silent", silent_after=0, record=RECORD)
        facts = self.run_session(radio, "--answers", "retry,cancel")
        radio.stop()
        radio.keep_artifacts("link-silent")
        check(facts["rc"] == 1 and facts["step"].get("begin", (None,))[0] == 1, "begin cancelled: %r" % facts["step"])
        check(len(facts["box"]) == 2 and all(b.startswith("0x15 Orvelle link test|link failure") for b in facts["box"]),
              "retry/cancel box twice, answered retry then cancel: %r" % facts["box"])
        check(radio.sent() == b"", "the silent radio sent nothing")
        sent = radio.received(heard_only=False)
        check(sent.count(b"FLFM96K") == 2 and sent.count(b"PROGRAM") == 14,
              "each attempt: old handshake, then all seven rates (%d, %d)" % (sent.count(b"FLFM96K"),
                                                                             sent.count(b"PROGRAM")))
        check(sent.endswith(b"PROGRAM" + b"E"), "E sent on cancel, nothing after it")
        check(radio.result()["written"] == [], "nothing written")
        self.check_rts(radio)

    def test_hangup(self):
        # The line drops in the middle of the identity block: the program's reads
        # fail, the user retries once and cancels; the next run, on the line the
        # radio brings up again, goes through.
        check = self.check
        radio = self.radio("hangup", hangup_after=10, record=RECORD)
        first = self.run_session(radio, "--answers", "retry,cancel")
        check(first["rc"] == 1 and first["step"].get("identity", (None,))[0] == 1,
              "identity read failed and was cancelled: %r" % first["step"])
        check(len(first["box"]) == 2, "retry/cancel box twice: %r" % first["box"])
        check(radio.result()["written"] == [], "nothing written after the hang-up")
        facts = self.run_session(radio, "--mask", MASK)
        radio.stop()
        radio.keep_artifacts("link-hangup")
        check(any(l.what == "ev" and l.data.startswith("hang-up") for l in radio.log()), "radio hung up")
        self.common_success_checks(radio, facts, 19200)

    def test_batch(self):
        # Radio after radio on one port: each goes after its session, and
        # the next answers the third attempt after it (two go unanswered, as
        # the batch loop needs to take a radio for gone). Radio 3 is radio 1
        # plugged in again: it comes with the record it was written.
        check = self.check
        record2 = bytes(range(0x80, 0x80 + 50))
        written2 = record2[:42] + bytes(b & 0xF0 for b in record2[42:])
        radio = self.radio("batch", record=RECORD, radios=[
            {"identity_rest": "SN-1"},
            {"model": "QM-3390", "identity_rest": "SN-2", "record": record2, "write": "nak"},
            {"same_as": 1}])
        facts = self.run_session(radio, "--mask", MASK, "--repeat", "7", timeout=300)
        radio.stop()
        radio.keep_artifacts("link-batch")
        begins = [line.split()[2] for line in facts["out"].splitlines() if line.startswith("step begin ")]
        check(begins == ["0", "1", "1", "0", "1", "1", "0"], "answered, two gaps, answered ...: %r" % begins)
        check(len(facts["box"]) == 4, "one link-failure box per unanswered attempt: %r" % facts["box"])
        res = radio.result()
        one, two, three = (res["radios"].get(n, {}) for n in (1, 2, 3))
        check(one.get("state") == "gone" and one.get("sessions") == 1, "radio 1 went after its session: %r" % one)
        check(one.get("written") == [(WRITTEN, "ack")] and one.get("final") == WRITTEN, "radio 1 written: %r" % one)
        check(two.get("identity", b"").startswith(b"QM-3390\0"), "radio 2's identity: %r" % two)
        check(two.get("written") == [(written2, "nak")] and two.get("final") == record2,
              "radio 2 refused its record and kept its own: %r" % two)
        check(three.get("same_as") == 1 and three.get("identity") == one.get("identity"),
              "radio 3 is radio 1 again: %r" % three)
        check(facts.get("record") == WRITTEN.hex(), "radio 3 came with the record radio 1 was given")
        check(three.get("written") == [(WRITTEN, "ack")], "radio 3 got its own write: %r" % three)
        check(res["written"] == [(WRITTEN, "ack"), (written2, "nak"), (WRITTEN, "ack")], "every write, in order")
        events = [e for e in radio.events() if e.startswith("radio ")]
        check(events == ["radio 1 comes", "radio 1 goes after 1 identified sessions",
                         "radio 2 comes after 2 unanswered connection attempts",
                         "radio 2 goes after 1 identified sessions",
                         "radio 3 comes (radio 1 again) after 2 unanswered connection attempts",
                         "radio 3 goes after 1 identified sessions"], "comings and goings: %r" % events)
        heard_in_gaps = [l for l in radio.log() if l.what == "rx" and l.data == b"PROGRAM" and l.baud == 1200]
        check(heard_in_gaps == [], "no radio heard the scan's last rate: all of those went unanswered")
        self.check_rts(radio)


if __name__ == "__main__":
    # The program under test comes first; the rest is unittest's.
    if len(sys.argv) > 1 and sys.argv[1].lower().endswith(".exe"):
        LinkSessions.EXE = sys.argv.pop(1)
    LinkSessions.EXE = LinkSessions.EXE or os.environ.get("ORVELLE_LINK_SESSION")
    if not LinkSessions.EXE:
        sys.exit("usage: link_test.py <link_session.exe> [test names...]")
    run()
