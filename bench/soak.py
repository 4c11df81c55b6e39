#!/usr/bin/env python3
"""A long run of tovan under the load production brings, with a ledger.

Two tovan instances, headless:
  - a serial one on a socat null-modem; this script plays the device at the
    other end of the pair and streams to it at full rate;
  - a printer one on a FIFO (TOVAN_PRINTER_DIR), restarted with SIGUSR1 every
    couple of seconds while a client streams to it.
Against the serial one, at the same time:
  - a writer client streams to the device at full rate (and reads what the
    device sends while it is the receiver);
  - churn clients connect and leave every few milliseconds on both ports; each
    is the receiver from its accept on, half-closes when it leaves and reads
    until the server has closed, so every byte sent to it is counted;
  - control clients change the line (baud rate, parity, stop bits);
  - one client stops reading for a while, then drains what it was sent.

At the end it prints descriptors, threads and resident memory of each instance
before the first client and after the last has gone, and the ledger: what the
writer sent and the device got (equal and in order), what the device sent,
what all clients received and what tovan logged as dropped. Targets: received
plus dropped equals sent; descriptors and threads back to their start; memory
within 8 MiB of it.

Run through bench/soak.sh (builds tovan); --seconds sets the length (600).
"""
import argparse
import os
import random
import re
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

CHUNK = 65536


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


def stream(seed, size):
    """The writer's bytes: a fixed pseudo-random run, so order can be checked."""
    return random.Random(seed).randbytes(size)


class Process:
    """A tovan instance with its standard output in a file."""

    def __init__(self, argv, log, env=None):
        self.log_path = log
        self.log = open(log, "w")
        self.proc = subprocess.Popen(argv, stdout=self.log, stderr=subprocess.STDOUT, env=env)

    def stats(self):
        pid = self.proc.pid
        fds = len(os.listdir("/proc/%d/fd" % pid))
        status = open("/proc/%d/status" % pid).read()
        threads = int(re.search(r"Threads:\s+(\d+)", status).group(1))
        rss = int(re.search(r"VmRSS:\s+(\d+)", status).group(1))
        return {"fds": fds, "threads": threads, "rss_kib": rss}

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = "killed"
        self.log.close()
        return code

    def dropped(self):
        text = open(self.log_path).read()
        return sum(int(n) for n in re.findall(r" - dropped (\d+) bytes of device data", text))


class Totals:
    def __init__(self):
        self.lock = threading.Lock()
        self.received = 0
        self.clients = 0
        self.errors = 0

    def add(self, received=0, clients=0, errors=0):
        with self.lock:
            self.received += received
            self.clients += clients
            self.errors += errors


def drain_to_eof(sock, timeout=10.0):
    """Reads until the server closes; returns the bytes read."""
    got = 0
    sock.settimeout(timeout)
    while True:
        try:
            data = sock.recv(CHUNK)
        except (socket.timeout, OSError):
            return got
        if not data:
            return got
        got += len(data)


def connect(port):
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def churn(port, frames, stop, totals):
    """Clients that come and go every few milliseconds."""
    rng = random.Random(port)
    while not stop.is_set():
        try:
            s = connect(port)
        except OSError:
            totals.add(errors=1)
            time.sleep(0.01)
            continue
        got = 0
        try:
            if frames:
                s.sendall(rng.choice(frames))
            s.settimeout(0.001 * rng.randint(1, 5))
            end = time.monotonic() + 0.001 * rng.randint(1, 5)
            while time.monotonic() < end:
                try:
                    data = s.recv(CHUNK)
                except socket.timeout:
                    break
                if not data:
                    break
                got += len(data)
            s.shutdown(socket.SHUT_WR)
            got += drain_to_eof(s)
        except OSError:
            totals.add(errors=1)
        finally:
            s.close()
        totals.add(received=got, clients=1)
        time.sleep(0.001 * rng.randint(1, 3))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tovan", required=True)
    parser.add_argument("--seconds", type=int, default=600)
    parser.add_argument("--port", type=int, default=25001)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="tovan-soak-")
    a, b = os.path.join(work, "server-end"), os.path.join(work, "device")
    socat = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert wait_for(lambda: os.path.exists(a) and os.path.exists(b)), "socat made no pty pair"
    device = os.open(b, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(device)

    data, ctrl = args.port, args.port + 1
    pdata, pctrl = args.port + 2, args.port + 3
    serial = Process([args.tovan, "--headless", "--device", os.path.realpath(a), "--data-port", str(data),
                      "--ctrl-port", str(ctrl)], os.path.join(work, "serial.log"))
    fifo = os.path.join(work, "lpt1")
    os.mkfifo(fifo)
    paper = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    env = dict(os.environ, TOVAN_PRINTER_DIR=work)
    printer = Process([args.tovan, "--headless", "--device", "lpt1", "--data-port", str(pdata),
                       "--ctrl-port", str(pctrl)], os.path.join(work, "printer.log"), env)
    assert wait_for(lambda: listening(data) and listening(ctrl)), "the serial instance does not listen"
    assert wait_for(lambda: listening(pdata)), "the printer instance does not listen"
    time.sleep(0.5)
    before = {"serial": serial.stats(), "printer": printer.stats()}

    stop = threading.Event()
    ledger = {"device_sent": 0, "device_got": 0, "device_wrong": 0, "printed": 0, "printer_sent": 0}
    totals = Totals()
    expected = stream(1, 64 * 1024 * 1024)

    def device_writer():
        noise = os.urandom(CHUNK)
        while not stop.is_set():
            r, w, _ = select.select([], [device], [], 0.1)
            if w:
                ledger["device_sent"] += os.write(device, noise)

    def device_reader():
        pos = 0
        while not stop.is_set() or select.select([device], [], [], 0.5)[0]:
            r, _, _ = select.select([device], [], [], 0.1)
            if not r:
                continue
            got = os.read(device, CHUNK)
            for i in range(0, len(got), 4096):
                piece = got[i:i + 4096]
                at = pos % len(expected)
                if expected[at:at + len(piece)] != piece[:len(expected) - at]:
                    ledger["device_wrong"] += len(piece)
                pos += len(piece)
            ledger["device_got"] = pos

    writer_sent = [0]

    def writer_client():
        s = connect(data)

        def reader():
            got = drain_to_eof(s, timeout=None)
            totals.add(received=got, clients=1)

        t = threading.Thread(target=reader)
        t.start()
        pos = 0
        while not stop.is_set():
            at = pos % len(expected)
            piece = expected[at:at + CHUNK]
            s.sendall(piece)
            pos += len(piece)
            writer_sent[0] = pos
        s.shutdown(socket.SHUT_WR)
        t.join()
        s.close()

    # The printer's paper is read until the very end: a FIFO nobody reads
    # would hold the printer instance's last write.
    paper_stop = threading.Event()

    def printer_paper():
        while not paper_stop.is_set():
            r, _, _ = select.select([paper], [], [], 0.1)
            if r:
                try:
                    ledger["printed"] += len(os.read(paper, CHUNK))
                except BlockingIOError:
                    pass

    def printer_client():
        block = os.urandom(4096)
        while not stop.is_set():
            try:
                s = connect(pdata)
                while not stop.is_set():
                    s.sendall(block)
                    ledger["printer_sent"] += len(block)
            except OSError:
                time.sleep(0.01)
            finally:
                try:
                    s.shutdown(socket.SHUT_WR)
                    drain_to_eof(s, 2.0)
                    s.close()
                except (OSError, UnboundLocalError):
                    pass

    def printer_restarts():
        while not stop.wait(2.0):
            printer.proc.send_signal(signal.SIGUSR1)

    def stalled_client():
        # Connects, becomes the receiver, reads nothing for 20 s, then drains.
        while not stop.wait(30.0):
            s = connect(data)
            stop.wait(20.0)
            s.shutdown(socket.SHUT_WR)
            totals.add(received=drain_to_eof(s), clients=1)
            s.close()

    frames = [b"1\x01\x0c", b"1\x01\x06", b"2\x01\x02", b"2\x01\x00", b"4\x01\x02", b"4\x01\x01"]
    paper_reader = threading.Thread(target=printer_paper)
    paper_reader.start()
    threads = [threading.Thread(target=f) for f in (device_reader, writer_client, printer_client, printer_restarts,
                                                   stalled_client)]
    threads += [threading.Thread(target=churn, args=(data, [], stop, totals)),
                threading.Thread(target=churn, args=(ctrl, frames, stop, totals))]
    # The device starts sending once the writer has connected.
    for t in threads:
        t.start()
    sender = threading.Thread(target=device_writer)
    time.sleep(0.2)
    sender.start()
    start = time.monotonic()
    try:
        while time.monotonic() - start < args.seconds:
            time.sleep(1.0)
    except KeyboardInterrupt:
        pass
    stop.set()
    sender.join()
    for t in threads:
        t.join()
    # Let the server send what it still holds, then count.
    time.sleep(2.0)
    after = {"serial": serial.stats(), "printer": printer.stats()}
    codes = {"serial": serial.stop(), "printer": printer.stop()}
    paper_stop.set()
    paper_reader.join()
    dropped = serial.dropped()
    socat.terminate()
    os.close(device)
    os.close(paper)

    elapsed = time.monotonic() - start
    print("tovan soak, %.0f s, %d clients (%d connection errors)" % (elapsed, totals.clients, totals.errors))
    print()
    print("| | descriptors | threads | resident memory |")
    print("|---|---|---|---|")
    for name in ("serial", "printer"):
        b0, a0 = before[name], after[name]
        print("| %s instance | %d -> %d | %d -> %d | %.1f -> %.1f MiB (%+.1f) |" % (
            name, b0["fds"], a0["fds"], b0["threads"], a0["threads"], b0["rss_kib"] / 1024.0,
            a0["rss_kib"] / 1024.0, (a0["rss_kib"] - b0["rss_kib"]) / 1024.0))
    print()
    print("| ledger | bytes |")
    print("|---|---|")
    print("| writer client sent | %d |" % writer_sent[0])
    print("| device got (%d out of order) | %d |" % (ledger["device_wrong"], ledger["device_got"]))
    print("| device sent | %d |" % ledger["device_sent"])
    print("| clients received | %d |" % totals.received)
    print("| tovan logged dropped | %d |" % dropped)
    print("| received + dropped - sent | %d |" % (totals.received + dropped - ledger["device_sent"]))
    print("| printer client sent / printed | %d / %d |" % (ledger["printer_sent"], ledger["printed"]))
    print()
    print("exit codes: serial %s, printer %s; logs in %s" % (codes["serial"], codes["printer"], work))
    return 0


if __name__ == "__main__":
    sys.exit(main())
