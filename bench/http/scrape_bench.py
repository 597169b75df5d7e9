#!/usr/bin/env python3
"""Does scraping /metrics slow the calls? `dialvane --service` on loopback, GDelay 0, the
HTTP endpoint on: N sites (100) call at once, each sending files of RECORDS records again and
again for SECONDS, first without scraping, then with /metrics read 10 times a second. Prints
each run's aggregate rate (calls and records per second) and the difference.

    bench/http/scrape_bench.py BUILD_DIR [--sites 100] [--seconds 20] [--records 50]
"""
import argparse
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "service"))
from service_bench import ACK, block, free_port  # noqa: E402


class Station:
    def __init__(self, build, root, sites):
        self.port, self.http = free_port(), free_port()
        for n in range(sites):
            os.makedirs(f"{root}/Backroom/{100000 + n}", exist_ok=True)
        os.makedirs(f"{root}/Logs", exist_ok=True)
        with open(f"{root}/Dialvane.ini", "w") as f:
            f.write(f"[Path]\nBackroomPath={root}/Backroom/\nLogPath={root}/Logs/\n"
                    f"[Global]\nGDelay=0\n[Network]\nMaxCalls={sites + 10}\n"
                    f"[Ports]\nCOM1=tcp:127.0.0.1:{self.port}\n"
                    f"[Http]\nListen=127.0.0.1:{self.http}\n")
        env = dict(os.environ, XDG_CONFIG_HOME=f"{root}/xdg")
        env.pop("NOTIFY_SOCKET", None)
        self.process = subprocess.Popen([f"{build}/dialvane", "--service", "--config-dir", root],
                                        stderr=subprocess.DEVNULL, env=env)
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", self.http), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("no HTTP endpoint")

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(10)


def call(port, resto, records):
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    try:
        sock.sendall(block(b"%dS1" % resto))
        if sock.recv(1) != ACK:
            return False
        for i in range(records):
            sock.sendall(block(b"%d" % i))
            sock.recv(1)
        sock.sendall(block(b"$$$END$$$"))
        return sock.recv(1) == ACK
    finally:
        sock.close()


def scrape(port):
    sock = socket.create_connection(("127.0.0.1", port), timeout=5)
    sock.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n")
    data = b""
    while b"\r\n\r\n" not in data:
        data += sock.recv(65536)
    head, body = data.split(b"\r\n\r\n", 1)
    length = int([h for h in head.split(b"\r\n") if h.lower().startswith(b"content-length")][0]
                 .split(b":")[1])
    while len(body) < length:
        body += sock.recv(65536)
    sock.close()
    return body


def run(build, sites, seconds, records, scraping):
    with tempfile.TemporaryDirectory() as root:
        station = Station(build, root, sites)
        done = [0] * sites
        stop = time.time() + seconds
        def site(n):
            while time.time() < stop:
                try:
                    if call(station.port, 100000 + n, records):
                        done[n] += 1
                except OSError:
                    time.sleep(0.01)
        scrapes = [0]
        def scraper():
            while time.time() < stop:
                t0 = time.time()
                if b"dialvane_calls_total" in scrape(station.http):
                    scrapes[0] += 1
                time.sleep(max(0, 0.1 - (time.time() - t0)))
        threads = [threading.Thread(target=site, args=(n,)) for n in range(sites)]
        if scraping:
            threads.append(threading.Thread(target=scraper))
        t0 = time.time()
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        wall = time.time() - t0
        station.stop()
        calls = sum(done)
        print(f"{'with' if scraping else 'without'} scraping: {calls} calls in {wall:.1f} s = "
              f"{calls / wall:.1f} calls/s, {calls * records / wall:.0f} records/s"
              + (f"; {scrapes[0]} scrapes ({scrapes[0] / wall:.1f}/s)" if scraping else ""))
        return calls / wall


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--sites", type=int, default=100)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--records", type=int, default=50)
    a = parser.parse_args()
    without = run(a.build, a.sites, a.seconds, a.records, False)
    with_ = run(a.build, a.sites, a.seconds, a.records, True)
    print(f"difference: {100 * (with_ - without) / without:+.1f}%")


if __name__ == "__main__":
    main()
