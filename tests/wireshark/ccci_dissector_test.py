#!/usr/bin/env python3
"""Runs the Wireshark dissector tools/wireshark/ccci.lua through tshark on
real traffic between vanta-cli and vanta-sim.

  trace: traces written by `vanta-cli --trace` (pcapng, link type USER0); every
         packet's header fields as tshark shows them must equal the bytes in
         the file, read here independently.
  tcp:   a loopback capture (tcpdump) of the same commands; the frames must be
         found on the TCP stream, the large setup answer reassembled from
         several segments. Needs root for the capture, else it is skipped
         (exit 77).

tshark must be installed (scripts/install-deps.sh lists it); without it the
test fails and says so.
"""
import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
HEAD = 20
# Header of an answer longer than the loopback MSS, so TCP has to split it.
LARGE_SETUP = 64 * 1024

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL: " + what)
    return cond


def fail_now(what):
    print("FAIL: " + what)
    sys.exit(1)


class Sim:
    def __init__(self, sim, sample, work):
        self.root = os.path.join(work, "root")
        shutil.copytree(sample, self.root)
        self.proc = subprocess.Popen(
            [sim, "--port", "0", "--text-interval", "0", "--root", self.root],
            stdout=subprocess.PIPE, stderr=open(os.path.join(work, "sim.err"), "wb"), text=True)
        line = self.proc.stdout.readline()
        marker = "vanta-sim listening on "
        if marker not in line:
            self.stop()
            fail_now("vanta-sim did not start: %r" % line)
        self.port = int(line.strip().rsplit(":", 1)[1])

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def cli(args, port, work, *command, trace=None):
    argv = [args.cli, "--port", str(port), "-q", "--data-dir", os.path.join(work, "data")]
    if trace:
        argv += ["--trace", trace]
    argv += list(command)
    r = subprocess.run(argv, cwd=work, capture_output=True, text=True, timeout=120)
    return r


def tshark_fields(args, capture, fields, extra=()):
    argv = ["tshark", "-X", "lua_script:" + args.lua, "-n", "-r", capture] + list(extra) + \
           ["-T", "fields", "-E", "separator=\t", "-E", "occurrence=a", "-E", "aggregator=|"]
    for f in fields:
        argv += ["-e", f]
    r = subprocess.run(argv, capture_output=True, timeout=120)
    err = r.stderr.decode("utf-8", "replace")
    # tshark run as root says so on stderr; that is no failure. A script error is.
    for bad in ("Lua: Error", "lua_script", "Error during loading", "attempt to"):
        if bad in err:
            fail_now("tshark reports a problem with the dissector:\n" + err)
    if r.returncode != 0:
        fail_now("tshark failed (%d):\n%s" % (r.returncode, err))
    rows = []
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        cols = line.split("\t")
        cols += [""] * (len(fields) - len(cols))
        rows.append(dict(zip(fields, cols)))
    return rows


def read_pcapng(path):
    """(direction, bytes, comment) per Enhanced Packet Block."""
    data = open(path, "rb").read()
    out = []
    at = 0
    while at + 12 <= len(data):
        btype, blen = struct.unpack_from("<II", data, at)
        if blen < 12:
            break
        if btype == 6:
            caplen = struct.unpack_from("<I", data, at + 20)[0]
            pkt = data[at + 28: at + 28 + caplen]
            opt = at + 28 + ((caplen + 3) & ~3)
            end = at + blen - 4
            direction, comment = None, ""
            while opt + 4 <= end:
                code, olen = struct.unpack_from("<HH", data, opt)
                if code == 0:
                    break
                if code == 2:
                    direction = struct.unpack_from("<I", data, opt + 4)[0] & 3
                if code == 1:
                    comment = data[opt + 4: opt + 4 + olen].decode("utf-8", "replace")
                opt += 4 + ((olen + 3) & ~3)
            out.append((direction, pkt, comment))
        at += blen
    return out


HEADER_FIELDS = ["ccci.cmd", "ccci.cmdid", "ccci.priv", "ccci.extcmd", "ccci.ver", "ccci.ftpnak", "ccci.sn",
                 "ccci.size", "ccci.seq", "ccci.dir", "ccci.nak", "ccci.naktext", "ccci.lua", "ccci.missing"]


def trace_rows(args, trace):
    check(os.path.exists(trace), "trace %s written" % trace)
    rows = tshark_fields(args, trace, HEADER_FIELDS)
    packets = read_pcapng(trace)
    check(len(rows) == len(packets), "%s: tshark shows %d packets, the file holds %d" % (trace, len(rows), len(packets)))
    for n, (row, (direction, pkt, comment)) in enumerate(zip(rows, packets), 1):
        want_dir = {2: "client->device", 1: "device->client"}.get(direction)
        check(row["ccci.dir"] == want_dir, "%s #%d: direction %r, the flags say %r" % (trace, n, row["ccci.dir"], want_dir))
        if comment == "shell" or len(pkt) < HEAD:
            continue
        cmd, priv, ext, ver, flags, sn, size, seq = struct.unpack_from("<BBHHHIII", pkt, 0)
        got = tuple(row[f] for f in ("ccci.cmdid", "ccci.priv", "ccci.extcmd", "ccci.ver", "ccci.sn", "ccci.size", "ccci.seq"))
        want = tuple(str(v) for v in (cmd, priv, ext, ver, sn, size, seq))
        check(got == want, "%s #%d: header %s, the bytes say %s" % (trace, n, got, want))
        check(int(row["ccci.ftpnak"], 16) == flags, "%s #%d: FTPNAK %s, the bytes say 0x%04x" % (trace, n, row["ccci.ftpnak"], flags))
        check(row["ccci.cmd"] != "", "%s #%d: no command name" % (trace, n))
    return rows


def has(rows, **want):
    for r in rows:
        if all((v(r[k]) if callable(v) else r[k] == v) for k, v in want.items()):
            return True
    return False


def write_pcapng(path, packets):
    """packets: (direction 1 in / 2 out, bytes, comment) as vanta-cli writes them."""
    def block(btype, body):
        return struct.pack("<II", btype, 12 + len(body)) + body + struct.pack("<I", 12 + len(body))

    def option(code, value):
        return struct.pack("<HH", code, len(value)) + value + b"\0" * (-len(value) % 4)

    out = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1) + option(0, b""))
    out += block(1, struct.pack("<HHI", 147, 0, 0) + option(0, b""))
    for n, (direction, data, comment) in enumerate(packets):
        body = struct.pack("<IIIII", 0, 0, n, len(data), len(data)) + data + b"\0" * (-len(data) % 4)
        body += option(2, struct.pack("<I", direction))
        if comment:
            body += option(1, comment.encode())
        body += option(0, b"")
        out += block(6, body)
    open(path, "wb").write(out)


def head(cmd, priv, ext, size, flags=0, seq=1):
    return struct.pack("<BBHHHIII", cmd, priv, ext, 5, flags, 4711, size, seq)


def run_edge_cases(args, work):
    """Frames the simulator does not produce on demand."""
    t = os.path.join(work, "edge.pcapng")
    write_pcapng(t, [
        (2, head(4, 0, 65535, 24) + struct.pack("<I", 7), ""),  # stop of stream handle 7
        (1, head(5, 0, 17, 1000), ""),  # a download the client wrote straight to disk
        (1, head(6, 0, 1, 22, flags=0x12) + b"ok", ""),  # a flag word above 15 is no NAK
        (1, b"hello shell\n", "shell"),
        (1, head(8, 0, 0, 20), ""),
    ])
    rows = tshark_fields(args, t, HEADER_FIELDS + ["ccci.object"])
    if not check(len(rows) == 5, "edge cases: 5 packets (got %d)" % len(rows)):
        return
    check(rows[0]["ccci.cmd"] == "CCC_STREAM_STOP" and rows[0]["ccci.object"] == "7", "edge: stream stop with its handle")
    check(rows[1]["ccci.cmd"] == "CCC_READOUT_EVT_RD" and rows[1]["ccci.missing"] == "980",
          "edge: header-only download, 980 bytes not in the trace (%r)" % rows[1]["ccci.missing"])
    check(rows[2]["ccci.nak"] == "" and rows[2]["ccci.cmd"] == "Lua output" and rows[2]["ccci.lua"] == "ok",
          "edge: flag word 0x12 is no NAK, Lua output 'ok' (%r)" % rows[2])
    check(rows[3]["ccci.cmd"] == "shell text" and "hello shell" in rows[3]["ccci.lua"]
          and rows[3]["ccci.dir"] == "device->client", "edge: shell text (%r)" % rows[3])
    check(rows[4]["ccci.cmd"] == "unknown CMD 8", "edge: unknown CMD (%r)" % rows[4]["ccci.cmd"])


def run_trace(args, sim, work):
    run_edge_cases(args, work)

    # identify: the session start, both identity requests and the full identity answer
    t = os.path.join(work, "identify.pcapng")
    r = cli(args, sim.port, work, "identify", trace=t)
    check(r.returncode == 0, "identify: exit %d %s" % (r.returncode, r.stderr))
    rows = trace_rows(args, t)
    for name, size, direction in (("CCC_SESSION_STR_ADV", "20", "client->device"),
                                  ("CCC_IDENTIFY_ALL", "20", "client->device"),
                                  ("CCC_IDENTIFY_ALL", "1592", "device->client")):
        check(has(rows, **{"ccci.cmd": name, "ccci.size": size, "ccci.dir": direction}),
              "identify trace: %s of %s bytes %s" % (name, size, direction))

    # a Lua statement and its printed answer, as text
    t = os.path.join(work, "lua.pcapng")
    r = cli(args, sim.port, work, "lua", 'print("dissected " .. 6*7)', trace=t)
    check(r.returncode == 0 and "dissected 42" in r.stdout, "lua: exit %d %r" % (r.returncode, r.stdout))
    rows = trace_rows(args, t)
    check(has(rows, **{"ccci.cmd": "CCC_LUA_COMMAND", "ccci.dir": "client->device",
                       "ccci.lua": lambda v: 'print("dissected " .. 6*7)' in v}),
          "lua trace: the statement as text")
    check(has(rows, **{"ccci.dir": "device->client", "ccci.cmd": lambda v: v.startswith("Lua"),
                       "ccci.lua": lambda v: "dissected 42" in v}),
          "lua trace: the printed answer as text")

    # a larger answer: the setup file unpacked
    t = os.path.join(work, "setup.pcapng")
    r = cli(args, sim.port, work, "--plain", "setup", "get", os.path.join(work, "setup.xml"), trace=t)
    check(r.returncode == 0, "setup get: exit %d %s" % (r.returncode, r.stderr))
    xml_size = os.path.getsize(os.path.join(work, "setup.xml")) if r.returncode == 0 else -1
    rows = trace_rows(args, t)
    check(has(rows, **{"ccci.cmd": "CCC_SETUP_RD_ALL", "ccci.dir": "device->client", "ccci.size": str(HEAD + xml_size)}),
          "setup trace: the answer of %d bytes" % (HEAD + xml_size))

    # a refusal: NAK code and the catalogue's text for it
    t = os.path.join(work, "nak.pcapng")
    r = cli(args, sim.port, work, "scratchpad", "get", "no-such-file.txt", os.path.join(work, "x"), trace=t)
    check(r.returncode != 0, "scratchpad get of a missing file fails")
    rows = trace_rows(args, t)
    check(has(rows, **{"ccci.cmd": "CCC_SCRATCH_PAD_RD", "ccci.dir": "device->client", "ccci.nak": "2",
                       "ccci.naktext": "file not found"}),
          "nak trace: NAK 2 with its text")
    check(not has(rows, **{"ccci.dir": "client->device", "ccci.nak": lambda v: v != ""}),
          "nak trace: no request is shown as a NAK")


def run_tcp(args, sim, work):
    if os.geteuid() != 0:
        print("SKIP: capturing on the loopback interface needs root")
        sys.exit(SKIP)
    tcpdump = shutil.which("tcpdump")
    if not tcpdump:
        print("SKIP: tcpdump is not installed (scripts/install-deps.sh lists it)")
        sys.exit(SKIP)
    cap = os.path.join(work, "cap.pcap")
    errpath = os.path.join(work, "tcpdump.err")
    dump = subprocess.Popen([tcpdump, "-i", "lo", "-U", "--immediate-mode", "-s", "0", "-w", cap, "tcp", "port", str(sim.port)],
                            stdout=subprocess.DEVNULL, stderr=open(errpath, "wb"))
    deadline = time.time() + 10
    while time.time() < deadline:
        if dump.poll() is not None:
            print("SKIP: tcpdump cannot capture here: " + open(errpath, errors="replace").read().strip())
            sys.exit(SKIP)
        if "listening on" in open(errpath, errors="replace").read():
            break
        time.sleep(0.05)
    else:
        dump.kill()
        fail_now("tcpdump did not start listening")
    try:
        r = cli(args, sim.port, work, "identify")
        check(r.returncode == 0, "identify: exit %d %s" % (r.returncode, r.stderr))
        r = cli(args, sim.port, work, "--plain", "setup", "get", os.path.join(work, "setup.xml"))
        check(r.returncode == 0, "setup get: exit %d %s" % (r.returncode, r.stderr))
        xml_size = os.path.getsize(os.path.join(work, "setup.xml")) if r.returncode == 0 else -1
        r = cli(args, sim.port, work, "lua", 'print("over tcp")')
        check(r.returncode == 0, "lua: exit %d %s" % (r.returncode, r.stderr))
        time.sleep(0.5)
    finally:
        dump.send_signal(signal.SIGINT)
        try:
            dump.wait(10)
        except subprocess.TimeoutExpired:
            dump.kill()
            dump.wait()
    check(xml_size > LARGE_SETUP, "the setup file (%d bytes) is larger than one loopback segment" % xml_size)
    rows = tshark_fields(args, cap, ["frame.number", "tcp.srcport", "tcp.segment.count"] + HEADER_FIELDS,
                         ["-o", "ccci.tcp_port:%d" % sim.port])
    frames = [r for r in rows if r["ccci.cmd"]]
    check(len(frames) > 0, "tcp: tshark names no CCCI frame (is Lua disabled for this user?)")
    for name, size, direction in (("CCC_SESSION_STR_ADV", "20", "client->device"),
                                  ("CCC_IDENTIFY_ALL", "20", "client->device"),
                                  ("CCC_IDENTIFY_ALL", "1592", "device->client"),
                                  ("CCC_SETUP_RD_ALL", "20", "client->device"),
                                  ("CCC_LUA_COMMAND", None, "client->device")):
        want = {"ccci.cmd": lambda v, n=name: n in v.split("|"), "ccci.dir": lambda v, d=direction: d in v.split("|")}
        if size:
            want["ccci.size"] = lambda v, s=size: s in v.split("|")
        check(has(rows, **want), "tcp: %s of %s bytes %s" % (name, size or "any", direction))
    # the setup answer spans several segments and is shown once, whole
    big = [r for r in rows if "CCC_SETUP_RD_ALL" in r["ccci.cmd"].split("|") and str(HEAD + xml_size) in r["ccci.size"].split("|")]
    check(len(big) == 1, "tcp: the setup answer of %d bytes appears once (found %d)" % (HEAD + xml_size, len(big)))
    if big:
        segs = big[0]["tcp.segment.count"]
        check(segs != "" and int(segs.split("|")[0]) >= 2, "tcp: the setup answer reassembled from %r segments" % segs)
        check(big[0]["ccci.dir"] == "device->client", "tcp: the setup answer comes from the device")
    check(has(rows, **{"ccci.dir": lambda v: "device->client" in v, "ccci.lua": lambda v: "over tcp" in v}),
          "tcp: the Lua answer as text")
    # a missed frame boundary would show up as a header with a nonsense size
    check(not has(rows, **{"ccci.size": lambda v: any(s and int(s) < HEAD for s in v.split("|"))}),
          "tcp: no frame shorter than its header (a frame boundary was missed)")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("mode", choices=("trace", "tcp"))
    p.add_argument("--sim", required=True)
    p.add_argument("--cli", required=True)
    p.add_argument("--lua", required=True)
    p.add_argument("--sample", required=True)
    args = p.parse_args()
    for a in ("sim", "cli", "lua", "sample"):
        setattr(args, a, os.path.abspath(getattr(args, a)))
    if not shutil.which("tshark"):
        fail_now("tshark is not installed; install it (apt-get install tshark, listed in scripts/install-deps.sh)")
    work = tempfile.mkdtemp(prefix="ccci-dissector-")
    sim = None
    try:
        sim = Sim(args.sim, args.sample, work)
        (run_trace if args.mode == "trace" else run_tcp)(args, sim, work)
    finally:
        if sim:
            sim.stop()
        if not failures:
            shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d check(s) failed; files kept in %s" % (len(failures), work))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
