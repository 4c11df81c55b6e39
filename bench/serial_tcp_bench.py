#!/usr/bin/env python3
"""Serial-over-TCP servers side by side on a socat null-modem.

The servers: tovan, ser2net (with and without its character delay) and a
plain socat relay between the port and the pseudo-terminal, which moves whole
buffers and serves as the ceiling. For each server: a fresh socat
pseudo-terminal pair, the server on one end,
this script on the other end as "the device" and on 127.0.0.1 as the
client. Measures throughput both ways at several volumes (with a byte-exact
comparison: lost and reordered bytes), the latency of small messages both
ways (p50, p99), and 50 clients connecting at once.

Run through bench/serial_tcp_bench.sh, which installs ser2net and builds tovan.
"""
import argparse
import os
import select
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty

VOLUMES = [1024, 1024 * 1024, 16 * 1024 * 1024]
IDLE_END_S = 3.0        # a transfer is over when nothing came for this long
LATENCY_MESSAGES = 500
LATENCY_SIZE = 16
CLIENTS_AT_ONCE = 50


def wait_for(cond, timeout=10.0, step=0.02):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if cond():
            return True
        time.sleep(step)
    return cond()


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.5):
            return True
    except OSError:
        return False


class NullModem:
    """A socat pseudo-terminal pair: server_end for the server, device for us."""

    def __init__(self, workdir):
        self.a = os.path.join(workdir, "server-end")
        self.b = os.path.join(workdir, "device")
        self.proc = subprocess.Popen(
            ["socat", "pty,raw,echo=0,link=" + self.a, "pty,raw,echo=0,link=" + self.b],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: os.path.exists(self.a) and os.path.exists(self.b)):
            raise RuntimeError("socat made no pty pair")
        self.server_end = os.path.realpath(self.a)
        self.fd = os.open(self.b, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        attrs = termios.tcgetattr(self.fd)
        attrs[3] &= ~termios.ECHO
        termios.tcsetattr(self.fd, termios.TCSANOW, attrs)

    def write_all(self, data):
        view = memoryview(data)
        while view:
            try:
                n = os.write(self.fd, view[:65536])
                view = view[n:]
            except BlockingIOError:
                select.select([], [self.fd], [], 1.0)

    def drain(self):
        while True:
            r, _, _ = select.select([self.fd], [], [], 0.2)
            if not r:
                return
            try:
                os.read(self.fd, 65536)
            except (BlockingIOError, OSError):
                return

    def close(self):
        os.close(self.fd)
        self.proc.terminate()
        self.proc.wait()


class Server:
    def __init__(self, name, argv, port, workdir):
        self.name, self.port = name, port
        self.log = open(os.path.join(workdir, name.replace(" ", "_") + ".log"), "w")
        self.proc = subprocess.Popen(argv, stdout=self.log, stderr=subprocess.STDOUT)
        if not wait_for(lambda: listening(port)):
            self.stop()
            raise RuntimeError(name + " does not listen on %d" % port)
        time.sleep(0.3)  # let the probe connection above come and go

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


def client(port):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 * 1024 * 1024)
    return s


def compare(sent, got):
    """(lost, reordered): bytes missing, and bytes present but out of place."""
    lost = len(sent) - len(got)
    if got == sent:
        return 0, 0
    limit = min(len(sent), len(got))
    first = next((i for i in range(limit) if sent[i] != got[i]), limit)
    # Everything after the first difference counts as out of place.
    return max(lost, 0), max(len(got) - first, 0)


def collect(read_some, expected):
    chunks, total, last_at = [], 0, None
    while total < expected:
        data = read_some(IDLE_END_S)
        if not data:
            break
        last_at = time.perf_counter()
        chunks.append(data)
        total += len(data)
    return b"".join(chunks), last_at


def sock_reader(sock):
    def read_some(timeout):
        r, _, _ = select.select([sock], [], [], timeout)
        if not r:
            return b""
        return sock.recv(1 << 20)
    return read_some


def dev_reader(modem):
    def read_some(timeout):
        end = time.monotonic() + timeout
        while True:
            left = end - time.monotonic()
            if left <= 0:
                return b""
            r, _, _ = select.select([modem.fd], [], [], left)
            if not r:
                return b""
            try:
                return os.read(modem.fd, 1 << 20)
            except BlockingIOError:
                continue
    return read_some


def throughput(modem, port, size, to_client):
    """MB/s, lost and reordered bytes of size random bytes sent one way:
    from the device to the client (to_client) or from the client to the device."""
    data = os.urandom(size)
    s = client(port)
    time.sleep(0.2)  # the server has accepted and made it the receiver
    read_some = sock_reader(s) if to_client else dev_reader(modem)
    send = modem.write_all if to_client else s.sendall
    result = {}

    def reader():
        result["got"], result["end"] = collect(read_some, size)

    t = threading.Thread(target=reader)
    t.start()
    start = time.perf_counter()
    send(data)
    t.join()
    s.close()
    got, end = result["got"], result["end"]
    lost, reordered = compare(data, got)
    seconds = (end - start) if end else float("nan")
    return size / seconds / 1e6 if got else 0.0, lost, reordered


def percentile(values, p):
    ordered = sorted(values)
    k = min(len(ordered) - 1, max(0, int(round(p / 100.0 * (len(ordered) - 1)))))
    return ordered[k]


def read_exactly(read_some, n, timeout=2.0):
    got = b""
    while len(got) < n:
        data = read_some(timeout)
        if not data:
            return None
        got += data
    return got


def latency(modem, port, direction):
    s = client(port)
    time.sleep(0.2)
    modem.drain()
    samples, lost = [], 0
    to_client = direction == "device->client"
    for i in range(LATENCY_MESSAGES):
        msg = bytes([(i + k) & 0xFF for k in range(LATENCY_SIZE)])
        start = time.perf_counter()
        if to_client:
            modem.write_all(msg)
            got = read_exactly(sock_reader(s), LATENCY_SIZE)
        else:
            s.sendall(msg)
            got = read_exactly(dev_reader(modem), LATENCY_SIZE)
        end = time.perf_counter()
        if got != msg:
            lost += 1
            modem.drain()
            continue
        samples.append((end - start) * 1000.0)
    s.close()
    if not samples:
        return float("nan"), float("nan"), lost
    return percentile(samples, 50), percentile(samples, 99), lost


def many_clients(modem, port):
    """50 clients connect at once, each sends one byte; how many are served."""
    modem.drain()
    barrier = threading.Barrier(CLIENTS_AT_ONCE + 1)
    sockets, errors = [None] * CLIENTS_AT_ONCE, []

    def one(i):
        barrier.wait()
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=5)
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            sockets[i] = s
        except OSError as e:
            errors.append(e)

    threads = [threading.Thread(target=one, args=(i,)) for i in range(CLIENTS_AT_ONCE)]
    for t in threads:
        t.start()
    barrier.wait()
    start = time.perf_counter()
    for t in threads:
        t.join()
    connected_at = time.perf_counter()
    connected = [s for s in sockets if s is not None]
    for i, s in enumerate(sockets):
        if s is not None:
            try:
                s.sendall(bytes([0x40 + (i % 64)]))
            except OSError:
                pass
    got, end = collect(dev_reader(modem), len(connected))
    served_at = end or time.perf_counter()
    for s in connected:
        s.close()
    return {
        "connected": len(connected),
        "served": len(got),
        "connect_ms": (connected_at - start) * 1000.0,
        "all_served_ms": (served_at - start) * 1000.0 if len(got) == len(connected) else float("nan"),
    }


def measure(name, make_argv, port, workdir):
    modem = NullModem(workdir)
    server = Server(name, make_argv(modem.server_end), port, workdir)
    out = {"name": name}
    try:
        out["d2c"] = [throughput(modem, port, v, to_client=True) for v in VOLUMES]
        modem.drain()
        out["c2d"] = [throughput(modem, port, v, to_client=False) for v in VOLUMES]
        modem.drain()
        out["lat_d2c"] = latency(modem, port, "device->client")
        out["lat_c2d"] = latency(modem, port, "client->device")
        out["many"] = many_clients(modem, port)
    finally:
        server.stop()
        modem.close()
    return out


def ser2net_config(workdir, name, port, device, extra):
    path = os.path.join(workdir, name + ".yaml")
    with open(path, "w") as f:
        f.write("connection: &bench\n")
        f.write("  accepter: tcp,127.0.0.1,%d\n" % port)
        f.write("  connector: serialdev,%s,9600n81,local\n" % device)
        f.write("  options:\n")
        f.write("    max-connections: %d\n" % CLIENTS_AT_ONCE)
        for line in extra:
            f.write("    %s\n" % line)
    return path


def median(values):
    ordered = sorted(values)
    return ordered[len(ordered) // 2]


def combine(runs):
    """One result from several runs: the median of each figure, the worst of
    the lost, reordered and wrong counts."""
    out = {"name": runs[0]["name"]}
    for key in ("d2c", "c2d"):
        out[key] = [(median([r[key][i][0] for r in runs]), max(r[key][i][1] for r in runs),
                     max(r[key][i][2] for r in runs)) for i in range(len(VOLUMES))]
    for key in ("lat_d2c", "lat_c2d"):
        out[key] = (median([r[key][0] for r in runs]), median([r[key][1] for r in runs]),
                    max(r[key][2] for r in runs))
    out["many"] = {
        "connected": min(r["many"]["connected"] for r in runs),
        "served": min(r["many"]["served"] for r in runs),
        "connect_ms": median([r["many"]["connect_ms"] for r in runs]),
        "all_served_ms": median([r["many"]["all_served_ms"] for r in runs]),
    }
    return out


def report(results):
    def vol(v):
        return "%d KiB" % (v // 1024) if v < 1 << 20 else "%d MiB" % (v >> 20)

    lines = []
    lines.append("| | " + " | ".join(r["name"] for r in results) + " |")
    lines.append("|---|" + "---|" * len(results))
    for key, label in (("d2c", "device->client"), ("c2d", "client->device")):
        for i, v in enumerate(VOLUMES):
            cells = []
            for r in results:
                mbps, lost, reord = r[key][i]
                cells.append("%.1f MB/s, lost %d, reordered %d" % (mbps, lost, reord))
            lines.append("| %s %s | %s |" % (label, vol(v), " | ".join(cells)))
    for key, label in (("lat_d2c", "latency device->client"), ("lat_c2d", "latency client->device")):
        cells = ["p50 %.3f ms, p99 %.3f ms%s" % (r[key][0], r[key][1], ", %d wrong" % r[key][2] if r[key][2] else "")
                 for r in results]
        lines.append("| %s (%d x %d B) | %s |" % (label, LATENCY_MESSAGES, LATENCY_SIZE, " | ".join(cells)))
    cells = []
    for r in results:
        m = r["many"]
        cells.append("%d connected in %.1f ms, %d served, all served after %.1f ms" %
                     (m["connected"], m["connect_ms"], m["served"], m["all_served_ms"]))
    lines.append("| %d clients at once | %s |" % (CLIENTS_AT_ONCE, " | ".join(cells)))
    return "\n".join(lines)


def against_ceiling(results):
    """Each server's 16 MiB throughput and p99 latency against the socat relay's."""
    ceiling = results[0]
    lines = ["| against the socat relay | " + " | ".join(r["name"] for r in results[1:]) + " |",
             "|---|" + "---|" * (len(results) - 1)]
    for key, label in (("d2c", "device->client 16 MiB throughput"), ("c2d", "client->device 16 MiB throughput")):
        lines.append("| %s | %s |" % (label, " | ".join(
            "%.2f x" % (r[key][-1][0] / ceiling[key][-1][0]) if ceiling[key][-1][0] else "n/a" for r in results[1:])))
    for key, label in (("lat_d2c", "device->client p99 latency"), ("lat_c2d", "client->device p99 latency")):
        lines.append("| %s | %s |" % (label, " | ".join(
            "%.2f x" % (r[key][1] / ceiling[key][1]) if ceiling[key][1] else "n/a" for r in results[1:])))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tovan", required=True, help="path of the tovan program")
    parser.add_argument("--ser2net", default="ser2net")
    parser.add_argument("--port", type=int, default=24001)
    parser.add_argument("--repeat", type=int, default=3, help="runs per server; medians are shown")
    args = parser.parse_args()

    results = []
    with tempfile.TemporaryDirectory(prefix="serial-bench-") as workdir:
        def tovan_argv(port):
            return lambda dev: [args.tovan, "--headless", "--device", dev, "--data-port", str(port),
                                "--ctrl-port", str(port + 1)]

        def ser2net_argv(tag, extra, port):
            def argv(dev):
                cfg = ser2net_config(workdir, tag, port, dev, extra)
                return [args.ser2net, "-n", "-u", "-c", cfg, "-P", os.path.join(workdir, "ser2net.pid")]
            return argv

        def socat_argv(port):
            # -t: a child whose client has gone lets go of the line at once,
            # so it takes no bytes meant for the next client.
            return lambda dev: ["socat", "-t", "0.05", "TCP-LISTEN:%d,bind=127.0.0.1,reuseaddr,fork,nodelay" % port,
                                "FILE:%s,raw,echo=0" % dev]

        servers = [
            ("socat relay", socat_argv),
            ("tovan", tovan_argv),
            ("ser2net (defaults)", lambda port: ser2net_argv("defaults", [], port)),
            ("ser2net (chardelay off)", lambda port: ser2net_argv("nodelay", ["chardelay: false"], port)),
        ]
        runs = {name: [] for name, _ in servers}
        port = args.port
        for _ in range(args.repeat):
            # Interleaved, so that a busy moment of the machine hits all alike.
            for name, make in servers:
                runs[name].append(measure(name, make(port), port, workdir))
                port += 10
        results = [combine(runs[name]) for name, _ in servers]
    print("Medians of %d runs each; lost/reordered/wrong: the worst run." % args.repeat)
    print()
    print(report(results))
    print()
    print(against_ceiling(results))
    return 0


if __name__ == "__main__":
    sys.exit(main())
