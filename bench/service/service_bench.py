#!/usr/bin/env python3
"""Whole-program figures of `dialvane --service` on a loopback network line.

    bench/service/service_bench.py BUILD_DIR [--idle-seconds 30] [--stops 20] [--calls 10000]

idle:   CPU and resident memory of a service waiting for calls with the port open
stops:  time from SIGTERM to exit, at random moments of receiving calls (GDelay 200)
calls:  resident memory after every 1,000 short calls (GDelay 0), to see whether it grows, then
        CPU and resident memory idle after the last call
"""
import argparse
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import time

STX, ETX, ACK = b"\x02", b"\x03", b"\x06"


def block(text):
    return STX + text.ljust(126, b" ")[:126] + ETX


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Station:
    def __init__(self, build, root, delay):
        self.root = root
        self.port = free_port()
        os.makedirs(f"{root}/Backroom/000123", exist_ok=True)
        os.makedirs(f"{root}/Logs", exist_ok=True)
        with open(f"{root}/Dialvane.ini", "w") as f:
            f.write(f"[Path]\nBackroomPath={root}/Backroom/\nLogPath={root}/Logs/\n"
                    f"[Global]\nGDelay={delay}\n[Ports]\nCOM1=tcp:127.0.0.1:{self.port}\n")
        env = dict(os.environ, XDG_CONFIG_HOME=f"{root}/xdg")
        env.pop("NOTIFY_SOCKET", None)
        self.process = subprocess.Popen([f"{build}/dialvane", "--service", "--config-dir", root],
                                        stderr=subprocess.DEVNULL, env=env)

    def connect(self):
        for _ in range(200):
            try:
                return socket.create_connection(("127.0.0.1", self.port), timeout=10)
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("station does not listen")

    def cpu_seconds(self):
        fields = open(f"/proc/{self.process.pid}/stat").read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def rss_kb(self):
        for line in open(f"/proc/{self.process.pid}/status"):
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
        return 0

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(10)


def answer(sock):
    byte = sock.recv(1)
    return byte


def short_call(station, records=1):
    # A connection that slips in as the line stops listening is reset, and a header that comes
    # while the previous call still holds the restaurant is left unanswered (busy; stations
    # before the lock was let go ahead of the last ACK): the call is simply placed again.
    for _ in range(100):
        try:
            return one_short_call(station, records)
        except (ConnectionResetError, BrokenPipeError, Busy):
            time.sleep(0.01)
    raise RuntimeError("no call got through")


class Busy(Exception):
    pass


def one_short_call(station, records):
    sock = station.connect()
    sock.sendall(block(b"000123S1"))
    if answer(sock) != ACK:
        sock.close()
        raise Busy()
    for i in range(records):
        sock.sendall(block(b"%d" % i))
        answer(sock)
    sock.sendall(block(b"$$$END$$$"))
    if answer(sock) != ACK:
        raise RuntimeError("end block not acknowledged")
    sock.close()


def idle(build, seconds):
    with tempfile.TemporaryDirectory() as root:
        station = Station(build, root, 200)
        station.connect().close()  # listening; that call ends at once
        print(f"idle with the port open: {idle_figures(station, seconds)}")
        station.stop()


def stops(build, count):
    times = []
    with tempfile.TemporaryDirectory() as root:
        for n in range(count):
            station = Station(build, f"{root}/{n}", 200)
            sock = station.connect()
            sock.sendall(block(b"000123S1"))
            deadline = time.time() + random.uniform(0.05, 3.0)
            i = 0
            while time.time() < deadline:  # a receiving call, 200 ms per answer
                sock.settimeout(3)
                if answer(sock) != ACK:
                    break
                sock.sendall(block(b"%d" % i))
                i += 1
            t0 = time.time()
            station.process.send_signal(signal.SIGTERM)
            status = station.process.wait(10)
            times.append(time.time() - t0)
            left = os.path.exists(f"{root}/{n}/Backroom/000123/itrfinv1.tmp")
            if status != 0 or left:
                print(f"stop {n}: exit status {status}, temporary file left: {left}")
            sock.close()
    times.sort()
    print(f"{count} stops on SIGTERM during calls: min {times[0] * 1000:.0f} ms, "
          f"median {times[len(times) // 2] * 1000:.0f} ms, max {times[-1] * 1000:.0f} ms")


def idle_figures(station, seconds):
    time.sleep(1)
    cpu0, t0 = station.cpu_seconds(), time.time()
    time.sleep(seconds)
    cpu, wall = station.cpu_seconds() - cpu0, time.time() - t0
    return (f"CPU {cpu:.2f} s in {wall:.0f} s = {100 * cpu / wall:.3f}% of one core; "
            f"resident {station.rss_kb() / 1024:.1f} MB")


def calls(build, count, idle_seconds):
    with tempfile.TemporaryDirectory() as root:
        station = Station(build, root, 0)
        marks = []
        for n in range(1, count + 1):
            short_call(station)
            if n % 1000 == 0:
                marks.append((n, station.rss_kb()))
                print(f"after {n} calls: resident {marks[-1][1] / 1024:.2f} MB", flush=True)
        grown = marks[-1][1] - marks[0][1]
        print(f"growth from call {marks[0][0]} to {marks[-1][0]}: {grown} KB "
              f"({grown * 1024 / (marks[-1][0] - marks[0][0]):.0f} bytes per call)")
        print(f"idle after {count} calls: {idle_figures(station, idle_seconds)}")
        station.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--idle-seconds", type=int, default=30)
    parser.add_argument("--stops", type=int, default=20)
    parser.add_argument("--calls", type=int, default=10000)
    args = parser.parse_args()
    if args.idle_seconds:
        idle(args.build, args.idle_seconds)
    if args.stops:
        stops(args.build, args.stops)
    if args.calls:
        calls(args.build, args.calls, args.idle_seconds or 30)


if __name__ == "__main__":
    sys.exit(main())
