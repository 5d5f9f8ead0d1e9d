#!/usr/bin/env python3
"""Records a zvril session against zv-modemsim as a transcript (docs/modemsim.md).

    record_session.py --bin build/bin --profile wcdma [--sim ready] [--ecm] --out T.transcript
                      [--journal T.journal] -- ZVRIL-ARGS...

Starts `zv-modemsim --root <tmp> --trace`, runs `zvril --root <tmp> ZVRIL-ARGS` against it, and
turns the simulator's traffic trace (the control port's bytes in both directions, stamped as they
arrive) into transcript events. The simulator's values are made up, so the transcript is written
UNMASKED: a replay then gives the library exactly what it saw, and the journal matches.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

FINAL = ("OK", "ERROR", "+CME ERROR", "+CMS ERROR", "NO CARRIER", "CONNECT", "BUSY", "NO ANSWER",
         "NO DIALTONE", "COMMAND NOT SUPPORT")
PROMPTING = ("AT+CMGS=", "AT+CMGW=", "AT^HCMGS=", "AT^HCMGW=")


def unprintable(text):
    """The trace's escapes (\\r, \\n, \\xHH) back to bytes."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text) and text[i + 1] in "rn":
            out.append("\r" if text[i + 1] == "r" else "\n")
            i += 2
        elif c == "\\" and i + 3 < len(text) + 0 and text[i + 1] == "x":
            out.append(chr(int(text[i + 2:i + 4], 16)))
            i += 4
        else:
            out.append(c)
            i += 1
    return "".join(out)


def escape(text):
    out = []
    for c in text:
        if c == "\\":
            out.append("\\\\")
        elif c == "\t":
            out.append("\\t")
        elif ord(c) < 0x20 or ord(c) == 0x7F:
            out.append("\\x%02X" % ord(c))
        else:
            out.append(c)
    return "".join(out)


class Transcriber:
    def __init__(self):
        self.events = []
        self.inbuf = ""
        self.outbuf = ""
        self.pending = False
        self.prompted = False
        self.pdu = None

    def event(self, t, kind, text=None):
        self.events.append((t, "control", kind, text))

    def received(self, t, data):
        for c in data:
            if self.pdu is not None:
                if c == "\x1a":
                    self.event(t, "pdu", self.pdu)
                    self.pdu = None
                elif c == "\x1b":
                    self.pdu = None
                elif c not in "\r\n":
                    self.pdu += c
                continue
            if c == "\r":
                line, self.inbuf = self.inbuf, ""
                if line:
                    self.event(t, "cmd", line)
                    self.pending = True
                    self.prompted = line.upper().startswith(PROMPTING)
            elif c != "\n":
                self.inbuf += c

    def sent(self, t, data):
        self.outbuf += data
        while True:
            rest = self.outbuf.lstrip("\r\n")
            if self.prompted and rest.startswith("> "):
                self.event(t, "ans", "> ")
                self.prompted = False
                self.pdu = ""
                self.outbuf = rest[2:]
                continue
            end = rest.find("\r\n")
            if end < 0:
                return
            line, self.outbuf = rest[:end], rest[end + 2:]
            if self.pending:
                self.event(t, "ans", line)
                if line.startswith(FINAL):
                    self.pending = False
            else:
                self.event(t, "unsol", line)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--profile", default="wcdma")
    ap.add_argument("--sim", default="ready")
    ap.add_argument("--ecm", action="store_true")
    ap.add_argument("--out", required=True)
    ap.add_argument("--journal")
    ap.add_argument("zvril", nargs=argparse.REMAINDER)
    a = ap.parse_args()
    args = [x for x in a.zvril if x != "--"]
    root = tempfile.mkdtemp(prefix="zv-record-")
    sim = [os.path.join(a.bin, "zv-modemsim"), "--profile", a.profile, "--sim", a.sim, "--root", root, "--trace"]
    if a.ecm:
        sim.append("--ecm")
    proc = subprocess.Popen(sim, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            errors="replace")
    start = time.monotonic()
    tr = Transcriber()
    opened = threading.Event()

    def read():
        for line in proc.stderr:
            line = line.rstrip("\n")
            t = time.monotonic() - start
            if line.startswith("< "):
                tr.received(t, unprintable(line[2:]))
            elif line.startswith("> "):
                tr.sent(t, unprintable(line[2:]))
            elif "control socket" in line:
                opened.set()

    reader = threading.Thread(target=read)
    reader.start()
    if not opened.wait(10):
        proc.kill()
        sys.exit("zv-modemsim did not start")
    tr.event(time.monotonic() - start, "open")
    journal = a.journal or os.path.join(root, "journal")
    command = ["zvril"] + args
    code = subprocess.call([os.path.join(a.bin, "zvril"), "--root", root, "--trace", journal] + args,
                           stdout=subprocess.DEVNULL)
    tr.event(time.monotonic() - start, "close")
    proc.terminate()
    reader.join()
    proc.wait()
    shutil.rmtree(root, ignore_errors=True)
    with open(a.out, "w") as f:
        f.write("# zvril transcript 1 UNMASKED\n")
        f.write("# module %s\n# ecm %s\n# sim %s\n" % (a.profile, "yes" if a.ecm else "no", a.sim))
        f.write("# command %s\n" % " ".join(command))
        for t, port, kind, text in sorted(tr.events, key=lambda e: e[0]):
            f.write("%.3f\t%s\t%s%s\n" % (t, port, kind, "" if text is None else "\t" + escape(text)))
    print("zvril exited with %d; %d events" % (code, len(tr.events)))


if __name__ == "__main__":
    main()
