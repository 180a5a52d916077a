#!/usr/bin/env python3
"""The whole road of a message, with the headless programs on loopback:

  qvslot send --lines -> Quelvane\\RemoteSender -> QVRemoteClient -> TCP 19150
  -> QVRemoteServer -> Quelvane\\Messages -> qvslot listen

Measures messages per second for a burst sent as fast as possible, and the latency of
messages sent at a steady rate (each carries its send time). Everything runs in temporary
per-user folders; every process started here is stopped here; the run is bounded in time.
"""

import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SENDER_SLOT = "Quelvane\\RemoteSender"
MESSAGES_SLOT = "Quelvane\\Messages"
PORT = 19150


class Deadline:
    def __init__(self, seconds):
        self.end = time.monotonic() + seconds

    def left(self):
        return max(0.0, self.end - time.monotonic())

    def passed(self):
        return time.monotonic() >= self.end


class Arrivals:
    """Reads the listener's lines; a line may hold several payloads joined by form feeds,
    when the server read several frames at once."""

    def __init__(self, stream):
        self.lock = threading.Condition()
        self.count = {}        # payload kind (first byte) -> count
        self.last_arrival = 0  # monotonic ns of the newest payload
        self.latencies = []    # ns, for payloads that carry their send time
        self.lines = 0         # messages the listener printed
        self.empty = 0         # of them empty: none are sent, so any is a fault on the road
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for line in stream:
            now = time.monotonic_ns()
            with self.lock:
                self.lines += 1
                if line == b"\n":
                    self.empty += 1
                for payload in line.rstrip(b"\n").split(b"\x0c"):
                    if not payload:
                        continue
                    kind = payload[:1]
                    self.count[kind] = self.count.get(kind, 0) + 1
                    self.last_arrival = now
                    if kind == b"L":
                        self.latencies.append(now - int(payload.split(b" ")[1]))
                self.lock.notify_all()

    def wait_for(self, kind, count, deadline):
        with self.lock:
            return self.lock.wait_for(lambda: self.count.get(kind, 0) >= count,
                                      timeout=deadline.left())

    def counted(self, kind):
        with self.lock:
            return self.count.get(kind, 0)


def wait_for_text(path, text, deadline):
    while not deadline.passed():
        with open(path, "rb") as f:
            if text in f.read():
                return True
        time.sleep(0.02)
    return False


def port_in_use():
    with socket.socket() as s:
        s.settimeout(1)
        return s.connect_ex(("127.0.0.1", PORT)) == 0


def payload(kind, number, size, extra=b""):
    head = kind + b"%08d " % number + extra
    return head + b"x" * (size - len(head))


def stop(process, name):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            print(f"{name}: did not end on SIGTERM, killed", file=sys.stderr)
    return process.returncode


def percentile(sorted_values, p):
    index = min(len(sorted_values) - 1, int(round(p / 100 * (len(sorted_values) - 1))))
    return sorted_values[index]


def burst(bin_dir, env, arrivals, args, deadline):
    lines = b"".join(payload(b"B", i, args.size) + b"\n" for i in range(args.messages))
    sender = subprocess.Popen([os.path.join(bin_dir, "qvslot"), "send", "--lines", SENDER_SLOT],
                              stdin=subprocess.PIPE, env=env)
    lines_before = arrivals.lines
    start = time.monotonic_ns()
    sender.stdin.write(lines)
    sender.stdin.close()
    complete = arrivals.wait_for(b"B", args.messages, deadline)
    if sender.wait(timeout=max(1, deadline.left())) != 0:
        print("burst: qvslot send reported messages not placed", file=sys.stderr)
    received = arrivals.counted(b"B")
    seconds = (arrivals.last_arrival - start) / 1e9
    print(f"burst: {received} of {args.messages} messages of {args.size} bytes in "
          f"{seconds:.3f} s: {received / seconds:,.0f} messages/s; the server relayed them "
          f"as {arrivals.lines - lines_before} slot messages, {arrivals.empty} of them empty"
          + ("" if complete else " (INCOMPLETE: time limit)"))
    return complete


def steady(bin_dir, env, arrivals, args, deadline):
    sender = subprocess.Popen([os.path.join(bin_dir, "qvslot"), "send", "--lines", SENDER_SLOT],
                              stdin=subprocess.PIPE, env=env, bufsize=0)
    interval = 1e9 / args.rate
    first = time.monotonic_ns()
    for i in range(args.latency_messages):
        due = first + i * interval
        pause = (due - time.monotonic_ns()) / 1e9
        if pause > 0:
            time.sleep(pause)
        sender.stdin.write(payload(b"L", i, args.size, b"%d " % time.monotonic_ns()) + b"\n")
        if deadline.passed():
            break
    sender.stdin.close()
    complete = arrivals.wait_for(b"L", args.latency_messages, deadline)
    sender.wait(timeout=max(1, deadline.left()))
    with arrivals.lock:
        values = sorted(arrivals.latencies)
    if not values:
        print("steady: nothing arrived")
        return False
    us = [v / 1000 for v in values]
    print(f"steady: {len(values)} of {args.latency_messages} messages at {args.rate}/s: "
          f"latency p50 {percentile(us, 50):.0f} us, p99 {percentile(us, 99):.0f} us, "
          f"max {us[-1]:.0f} us" + ("" if complete else " (INCOMPLETE: time limit)"))
    return complete


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="folder with QVRemoteClient, "
                        "QVRemoteServer and qvslot")
    parser.add_argument("--messages", type=int, default=200_000)
    parser.add_argument("--latency-messages", type=int, default=5_000)
    parser.add_argument("--rate", type=int, default=1_000)
    parser.add_argument("--size", type=int, default=100)
    parser.add_argument("--limit", type=float, default=240, help="seconds for the whole run")
    args = parser.parse_args()
    deadline = Deadline(args.limit)

    if port_in_use():
        print(f"port {PORT} is in use; stop whatever listens there first", file=sys.stderr)
        return 2
    root = tempfile.mkdtemp(prefix="qvr-whole-road-")
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(root, "run"),
               XDG_DATA_HOME=os.path.join(root, "data"))
    os.mkdir(env["XDG_RUNTIME_DIR"], 0o700)
    os.mkdir(env["XDG_DATA_HOME"])
    started = []
    ok = False
    try:
        def start(name, argv, ready):
            log = os.path.join(root, name + ".log")
            with open(log, "wb") as err:
                process = subprocess.Popen(argv, env=env, stderr=err,
                                           stdout=subprocess.PIPE if name == "listen" else
                                           subprocess.DEVNULL)
            started.append((process, name))
            if not wait_for_text(log, ready, deadline):
                raise RuntimeError(f"{name} did not get ready: " + open(log).read())
            return process

        listener = start("listen", [os.path.join(args.bin, "qvslot"), "listen", MESSAGES_SLOT],
                         b"listening")
        arrivals = Arrivals(listener.stdout)
        start("server", [os.path.join(args.bin, "QVRemoteServer"), "--headless"], b"ready")
        start("client", [os.path.join(args.bin, "QVRemoteClient"), "--headless"], b"ready")

        ok = burst(args.bin, env, arrivals, args, deadline)
        ok = steady(args.bin, env, arrivals, args, deadline) and ok
    finally:
        for process, name in reversed(started):
            status = stop(process, name)
            if status != 0:
                print(f"{name}: exit status {status}", file=sys.stderr)
                ok = False
        for name in ("client", "server"):
            log = os.path.join(root, name + ".log")
            if os.path.exists(log):
                text = open(log, errors="replace").read().strip()
                problems = [l for l in text.splitlines() if "ready" not in l]
                if problems:
                    print(f"{name} said: " + " | ".join(problems[:5]), file=sys.stderr)
        shutil.rmtree(root, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
