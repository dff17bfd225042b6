#!/usr/bin/env python3
"""End to end intake, measured from outside: a fake MOC on loopback pushes a realistic APID mix
(written once by the simulator) as fast as the socket takes it into `korvex --headless` with
recording on; the same stream is then drained by a plain reader. Prints both rates and their
ratio (whole-process figures, including the station's start-up to connection, excluded).

usage: e2e_intake.py BUILD_DIR [RECORDS]
"""
import os
import socket
import subprocess
import sys
import time

from fake_moc import REC, prepare_station, start_moc, station_with_stream


def plain_reader(data):
    port, result, th = start_moc(data)
    s = socket.create_connection(("127.0.0.1", port))
    got = 0
    buf = bytearray(1 << 20)
    while got < len(data):
        n = s.recv_into(buf)
        if n == 0:
            break
        got += n
    t1 = time.perf_counter()
    th.join()
    s.close()
    return got // REC / (t1 - result["t0"])


def station(build, data, workdir):
    port, result, th = start_moc(data)
    recorded = prepare_station(workdir, {1: "TlmPort = %d" % port, 12: "TlmServer = 127.0.0.1"})
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    p = subprocess.Popen([os.path.join(build, "korvex", "korvex"), "--headless"], cwd=workdir,
                         stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, env=env)
    p.stdin.write(b"REC ON\nset tsrv 127.0.0.1 %d\nset moc\n" % port)
    p.stdin.flush()

    deadline = time.time() + 600
    while recorded() < len(data) and time.time() < deadline:
        time.sleep(0.005)
    t1 = time.perf_counter()
    got = recorded()
    p.stdin.write(b"quit\n")
    p.stdin.flush()
    p.wait(30)
    th.join()
    return got // REC / (t1 - result["t0"]), got == len(data)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    records = int(sys.argv[2]) if len(sys.argv) > 2 else 300000
    with station_with_stream(build, records, "korvex_e2e_") as (st, data):
        plain = plain_reader(data)
        rate, whole = station(build, data, st)
        print("records            : %d (%.1f MB, simulator APID mix)" % (records, len(data) / 1e6))
        print("plain reader       : %.0f records/s" % plain)
        print("korvex --headless  : %.0f records/s (decoding, limits, recording on)%s"
              % (rate, "" if whole else "  INCOMPLETE RECORDING"))
        print("ratio              : %.3f of the plain reader" % (rate / plain))


if __name__ == "__main__":
    main()
