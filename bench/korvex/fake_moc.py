"""What the whole-process intake scripts share: a sample station written out with a simulator
stream, and a fake MOC telemetry server on loopback that pushes that stream once, as fast as the
socket takes it."""
import contextlib
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time

REC = 298


def _serve_once(data, ready, result):
    srv = socket.socket()
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(1)
    ready.append(srv.getsockname()[1])
    conn, _ = srv.accept()
    t0 = time.perf_counter()
    result["t0"] = t0  # set before the first byte: a reader may finish before sendall returns
    conn.sendall(data)
    result["sent"] = time.perf_counter() - t0
    result["conn"] = conn
    srv.close()


def start_moc(data):
    """Listens on an ephemeral loopback port; returns (port, result, thread). result["t0"] is the
    time of the first byte sent."""
    ready, result = [], {}
    th = threading.Thread(target=_serve_once, args=(data, ready, result), daemon=True)
    th.start()
    while not ready:
        time.sleep(0.01)
    return ready[0], result, th


@contextlib.contextmanager
def station_with_stream(build, records, prefix):
    """A fresh copy of station/ and `records` records of the simulator's APID mix:
    yields (station directory, stream bytes); everything is removed afterwards."""
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    work = tempfile.mkdtemp(prefix=prefix)
    try:
        st = os.path.join(work, "st")
        shutil.copytree(os.path.join(root, "station"), st)
        stream = os.path.join(work, "stream.bin")
        subprocess.run([os.path.join(build, "tools", "mocsim", "mocsim"), "--station", st,
                        "--cmd-port", "off", "--rate", "0", "--count", str(records),
                        "--write", stream], check=True, stdout=subprocess.DEVNULL)
        with open(stream, "rb") as f:
            yield st, f.read()
    finally:
        shutil.rmtree(work, ignore_errors=True)


def prepare_station(workdir, settings):
    """Writes the given positional lines of cfg/korvex.cfg ({index: text}) and empties log/;
    returns a function that tells the bytes recorded in log/*.tlm so far."""
    cfg = os.path.join(workdir, "cfg", "korvex.cfg")
    with open(cfg) as f:
        lines = f.read().split("\n")
    for k, v in settings.items():
        lines[k] = v
    with open(cfg, "w") as f:
        f.write("\n".join(lines))
    logdir = os.path.join(workdir, "log")
    for e in os.listdir(logdir):
        os.remove(os.path.join(logdir, e))

    def recorded():
        return sum(os.path.getsize(os.path.join(logdir, e)) for e in os.listdir(logdir)
                   if e.endswith(".tlm"))

    return recorded
