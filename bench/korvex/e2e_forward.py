#!/usr/bin/env python3
"""Local telemetry forwarding, measured from outside. A fake MOC on loopback pushes a realistic
APID mix (written once by the simulator) as fast as the socket takes it into
`korvex --headless --serve` with recording on, twice in the same run:

  1. with no local telemetry client: the station's intake rate (records recorded per second);
  2. with CLIENTS local telemetry clients on loopback, each reading as fast as it can: the
     records per second each client receives, the intake rate meanwhile, and whether every client
     got the whole stream byte for byte (same length and CRC-32) (and none was dropped as a slow reader).

All figures are whole-process figures: from the first byte the fake MOC writes to the last byte
recorded (1) or received by the slowest client (2), the station's start-up excluded. The
station's CPU time (user + system, start-up to exit) beside its wall time tells whether the
station or the rest of the machine (the readers, the loopback) set the pace.

usage: e2e_forward.py BUILD_DIR [RECORDS] [CLIENTS]
"""
import os
import resource
import socket
import subprocess
import sys
import threading
import time
import zlib

from fake_moc import REC, prepare_station, start_moc, station_with_stream


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Reader(threading.Thread):
    """One local telemetry client: reads until it holds `want` bytes or the station closes."""

    def __init__(self, port, want):
        super().__init__(daemon=True)
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.want = want
        self.got = 0
        self.crc = 0
        self.t_last = None

    def run(self):
        buf = bytearray(1 << 20)
        view = memoryview(buf)
        while self.got < self.want:
            n = self.sock.recv_into(buf)
            if n == 0:
                break
            self.crc = zlib.crc32(view[:n], self.crc)
            self.got += n
        self.t_last = time.perf_counter()
        self.sock.close()


def count_in(path, text):
    try:
        with open(path, errors="replace") as f:
            return f.read().count(text)
    except OSError:
        return 0


def run_station(build, data, workdir, clients):
    moc_port, result, th = start_moc(data)
    fwd_port, scm_port = free_port(), free_port()
    recorded = prepare_station(workdir, {1: "TlmPort = %d" % moc_port, 6: "FwdPort = %d" % fwd_port,
                                         9: "ScmPort = %d" % scm_port,
                                         12: "TlmServer = 127.0.0.1"})
    out = os.path.join(workdir, "stdout.txt")
    err = os.path.join(workdir, "stderr.txt")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    with open(out, "w") as fo, open(err, "w") as fe:
        p = subprocess.Popen([os.path.join(build, "korvex", "korvex"), "--headless", "--serve"],
                             cwd=workdir, stdin=subprocess.PIPE, stdout=fo, stderr=fe, env=env)
    deadline = time.time() + 30
    while count_in(err, "SCM Port: ") == 0 and time.time() < deadline:
        time.sleep(0.05)
    readers = [Reader(fwd_port, len(data)) for _ in range(clients)]
    while count_in(out, " CONNECTED TO TELEMETRY SERVER") < clients and time.time() < deadline:
        time.sleep(0.05)
    for r in readers:
        r.start()
    p.stdin.write(b"REC ON\nset tsrv 127.0.0.1 %d\nset moc\n" % moc_port)
    p.stdin.flush()

    deadline = time.time() + 600
    t_rec = None
    while time.time() < deadline:
        if t_rec is None and recorded() >= len(data):
            t_rec = time.perf_counter()
        if t_rec is not None and all(not r.is_alive() for r in readers):
            break
        time.sleep(0.002)
    if t_rec is None:
        t_rec = time.perf_counter()
    got = recorded()
    for r in readers:
        r.join(60)
    p.stdin.write(b"quit\n")
    p.stdin.flush()
    p.wait(30)
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    th.join()
    t0 = result["t0"]
    intake = got // REC / (t_rec - t0)
    want = zlib.crc32(data)
    per_client = [r.got // REC / ((r.t_last or t_rec) - t0) for r in readers]
    whole = sum(1 for r in readers if r.got == len(data) and r.crc == want)
    dropped = count_in(out, "TCP WRITE ERROR!")
    return intake, got == len(data), per_client, whole, dropped, cpu, wall


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    records = int(sys.argv[2]) if len(sys.argv) > 2 else 300000
    clients = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    with station_with_stream(build, records, "korvex_fwd_") as (st, data):
        alone, whole_alone, _, _, _, cpu0, wall0 = run_station(build, data, st, 0)
        intake, whole_rec, per_client, whole, dropped, cpu, wall = run_station(build, data, st,
                                                                               clients)
        print("records              : %d (%.1f MB, simulator APID mix), recording on" %
              (records, len(data) / 1e6))
        print("no clients           : %.0f records/s intake%s (station: %.1f s CPU in %.1f s)" %
              (alone, "" if whole_alone else "  INCOMPLETE RECORDING", cpu0, wall0))
        print("%2d clients           : %.0f records/s intake%s (station: %.1f s CPU in %.1f s)" %
              (clients, intake, "" if whole_rec else "  INCOMPLETE RECORDING", cpu, wall))
        if per_client:
            print("  to each client     : min %.0f, mean %.0f, max %.0f records/s" %
                  (min(per_client), sum(per_client) / len(per_client), max(per_client)))
            print("  whole stream       : %d of %d clients byte for byte, %d dropped as slow" %
                  (whole, clients, dropped))
            print("ratio                : %.3f (slowest client's rate / intake without clients)" %
                  (min(per_client) / alone))


if __name__ == "__main__":
    main()
