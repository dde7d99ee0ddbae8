#!/usr/bin/python3
"""A scripted quote server on the loopback interface, for tests and demonstrations.

It listens on 127.0.0.1:PORT and answers every request the way its current
configuration says. A test changes the configuration while the program runs through
an HTTP control endpoint on a second loopback port (--control-port), and reads back
what the server saw there or in the request log (--log).

Modes (per connection, as the configuration stands when the connection is accepted):
  serve   read a request, wait delay_ms, reply with status/headers/body (default)
  demo    like serve, with plausible moving figures as the body
  hang    read the request, then never answer; the connection stays open
  close   close the connection at once, without reading
  reset   close the connection at once with a reset (RST)
  raw     read a request, wait delay_ms, send the bytes of `raw` verbatim
  interim read a request, wait delay_ms, send `interim` interim replies
          ("HTTP/1.1 100 Continue", an empty line) interim_ms apart (0: as fast as the
          connection takes them; a negative count: until the client closes), then reply
          as serve does
  trickle read a request, wait delay_ms, send the reply's head at once and then its
          body drip_size bytes at a time, drip_ms apart

Reply shaping (serve, demo):
  status, reason, content_type, headers (list of "Name: value"), body, body_encoding,
  content_length (true: add Content-Length; false: frame by closing, or not at all
  with hold), connection ("keep-alive" keeps reading further requests on the
  connection; "close" sends "Connection: close" and closes), hold (true: keep the
  connection open after the reply instead of closing it), drip_ms and drip_size
  (send the reply in pieces of drip_size bytes, drip_ms apart).

Control endpoint (127.0.0.1:CONTROL_PORT):
  GET  /state     {"config": ..., "requests": n, "connections": n, "open": n}
  GET  /requests  [{"n", "conn", "time", "accepted", "peer", "raw"}...]; raw is the
                  request's bytes as a latin-1 string
  GET  /connections  [{"conn", "accepted", "closed", "closed_by", "peer"}...]; closed is
                  null while the connection is open, closed_by "peer" or "server"
  POST /config    JSON object: the keys to change; answers the new configuration
  POST /reset     forget the requests and connections seen so far
  POST /quit      stop the server

The server stops itself after --lifetime seconds (default 600). With --ready-file it
writes "port=... control_port=..." to that file once it listens; it also prints the
same line on stdout.

Examples:
  quote_server.py --port 18631 --body '2345.67R|5678.90U'
  quote_server.py --port 18631 --mode hang --lifetime 60
  quote_server.py --port 18631 --demo
"""

import argparse
import json
import random
import socket
import struct
import sys
import threading
import time

DEFAULTS = {
    "mode": "serve",
    "status": 200,
    "reason": None,
    "content_type": "text/html",
    "headers": [],
    "body": "",
    "body_encoding": "utf-8",
    "content_length": True,
    "connection": "keep-alive",
    "hold": False,
    "delay_ms": 0,
    "drip_ms": 0,
    "drip_size": 1,
    "raw": "",
    "interim": -1,
    "interim_ms": 0,
}

REASONS = {100: "Continue", 200: "OK", 201: "Created", 204: "No Content", 301: "Moved Permanently",
           302: "Found", 304: "Not Modified", 400: "Bad Request", 404: "Not Found",
           500: "Internal Server Error", 503: "Service Unavailable"}

MAX_HEAD = 64 * 1024


class DemoQuotes:
    """Figures that wander a little with each request: gold 2300-2400, silver 5600-5800."""

    def __init__(self, seed=None):
        self.rng = random.Random(seed)
        self.gold = self.rng.uniform(2320, 2380)
        self.silver = self.rng.uniform(5650, 5750)

    @staticmethod
    def _step(rng, value, low, high, scale):
        new = min(high, max(low, value + rng.uniform(-scale, scale)))
        new = round(new, 2)
        letter = "U" if new > round(value, 2) else "D" if new < round(value, 2) else "R"
        return new, letter

    def next_body(self):
        self.gold, g = self._step(self.rng, self.gold, 2300, 2400, 4.0)
        self.silver, s = self._step(self.rng, self.silver, 5600, 5800, 9.0)
        return "%.2f%s|%.2f%s" % (self.gold, g, self.silver, s)


class QuoteServer:
    def __init__(self, port, config, log_path=None, lifetime=600.0, seed=None):
        self.port = port
        self.config = dict(DEFAULTS)
        self.config.update(config)
        self.log_path = log_path
        self.lifetime = lifetime
        self.lock = threading.Lock()
        self.requests = []
        self.connections = 0
        self.open = 0
        self.conn_log = {}
        self.demo = DemoQuotes(seed)
        self.stopping = threading.Event()
        self.sockets = set()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(64)
        self.listener.settimeout(0.2)
        if log_path:
            open(log_path, "w").close()

    # ---- bookkeeping ----------------------------------------------------------

    def snapshot(self):
        with self.lock:
            return dict(self.config)

    def update(self, changes):
        unknown = set(changes) - set(DEFAULTS)
        if unknown:
            raise ValueError("unknown keys: %s" % ", ".join(sorted(unknown)))
        with self.lock:
            self.config.update(changes)
            return dict(self.config)

    def reset(self):
        with self.lock:
            self.requests = []
            self.connections = 0
            self.conn_log = {}

    def state(self):
        with self.lock:
            return {"config": dict(self.config), "requests": len(self.requests),
                    "connections": self.connections, "open": self.open, "port": self.port}

    def record(self, conn_no, accepted, peer, raw):
        with self.lock:
            entry = {"n": len(self.requests) + 1, "conn": conn_no, "time": time.time(),
                     "accepted": accepted, "peer": "%s:%d" % peer, "raw": raw.decode("latin-1")}
            self.requests.append(entry)
            if self.log_path:
                with open(self.log_path, "a") as f:
                    f.write(json.dumps(entry) + "\n")
            return entry

    # ---- serving --------------------------------------------------------------

    def serve_forever(self):
        deadline = time.monotonic() + self.lifetime
        while not self.stopping.is_set() and time.monotonic() < deadline:
            try:
                sock, peer = self.listener.accept()
            except socket.timeout:
                continue
            except OSError:
                break
            with self.lock:
                self.connections += 1
                conn_no = self.connections
                self.conn_log[conn_no] = {"conn": conn_no, "accepted": time.time(), "closed": None,
                                          "closed_by": None, "peer": "%s:%d" % peer}
                self.open += 1
                self.sockets.add(sock)
            threading.Thread(target=self._connection, args=(sock, peer, conn_no, time.time()),
                             daemon=True).start()
        self.stop()

    def stop(self):
        self.stopping.set()
        try:
            self.listener.close()
        except OSError:
            pass
        with self.lock:
            for s in list(self.sockets):
                try:
                    s.close()
                except OSError:
                    pass

    def _read_head(self, sock, pending):
        """Reads one request head (and a body announced by Content-Length)."""
        data = pending
        while b"\r\n\r\n" not in data:
            if len(data) > MAX_HEAD:
                return None, b""
            chunk = self._recv(sock)
            if not chunk:
                return None, b""
            data += chunk
        end = data.index(b"\r\n\r\n") + 4
        head, rest = data[:end], data[end:]
        length = 0
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                try:
                    length = int(value.strip())
                except ValueError:
                    length = 0
        while len(rest) < length:
            chunk = self._recv(sock)
            if not chunk:
                break
            rest += chunk
        return head + rest[:length], rest[length:]

    def _recv(self, sock):
        while not self.stopping.is_set():
            sock.settimeout(0.2)
            try:
                return sock.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return b""
        return b""

    def _connection(self, sock, peer, conn_no, accepted):
        by = "server"
        try:
            if self._converse(sock, peer, conn_no, accepted) == "peer":
                by = "peer"
        except OSError:
            pass
        finally:
            with self.lock:
                if conn_no in self.conn_log:
                    self.conn_log[conn_no].update(closed=time.time(), closed_by=by)
                self.open -= 1
                self.sockets.discard(sock)
            try:
                sock.close()
            except OSError:
                pass

    def _converse(self, sock, peer, conn_no, accepted):
        cfg = self.snapshot()
        if cfg["mode"] == "close":
            return
        if cfg["mode"] == "reset":
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return
        pending = b""
        while not self.stopping.is_set():
            raw, pending = self._read_head(sock, pending)
            if raw is None:
                return "peer"
            self.record(conn_no, accepted, peer, raw)
            cfg = self.snapshot()
            if cfg["mode"] == "hang":
                return self._wait_for_close(sock)
            if self.stopping.wait(cfg["delay_ms"] / 1000.0):
                return
            if cfg["mode"] == "interim" and not self._send_interim(sock, cfg):
                return
            reply, close_after = self._reply(cfg)
            if cfg["mode"] == "trickle":
                head_end = reply.index(b"\r\n\r\n") + 4
                sock.sendall(reply[:head_end])
                self._send(sock, reply[head_end:], dict(cfg, drip_ms=max(1, cfg["drip_ms"])))
            else:
                self._send(sock, reply, cfg)
            if cfg["hold"]:
                return self._wait_for_close(sock)
            if close_after:
                return

    def _reply(self, cfg):
        if cfg["mode"] == "raw":
            return cfg["raw"].encode("latin-1"), True
        body_text = self.demo.next_body() if cfg["mode"] == "demo" else cfg["body"]
        body = body_text.encode(cfg["body_encoding"])
        status = int(cfg["status"])
        reason = cfg["reason"] if cfg["reason"] is not None else REASONS.get(status, "Status")
        lines = ["HTTP/1.1 %d %s" % (status, reason)]
        if cfg["content_type"]:
            lines.append("Content-Type: %s" % cfg["content_type"])
        if cfg["content_length"]:
            lines.append("Content-Length: %d" % len(body))
        close_after = cfg["connection"] == "close" or not cfg["content_length"]
        if cfg["connection"]:
            lines.append("Connection: %s" % cfg["connection"])
        lines.extend(cfg["headers"])
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")
        return head + body, close_after

    def _send(self, sock, data, cfg):
        if cfg["drip_ms"] <= 0:
            sock.sendall(data)
            return
        size = max(1, int(cfg["drip_size"]))
        for i in range(0, len(data), size):
            sock.sendall(data[i:i + size])
            if self.stopping.wait(cfg["drip_ms"] / 1000.0):
                return

    def _send_interim(self, sock, cfg):
        """The interim replies of the interim mode; False once the client has gone."""
        one = b"HTTP/1.1 100 Continue\r\n\r\n"
        count = int(cfg["interim"])
        pause = cfg["interim_ms"] / 1000.0
        sent = 0
        try:
            while count < 0 or sent < count:
                # Unpaced, in bursts, so that the flood outruns the reader rather than the system calls.
                n = 1 if pause > 0 else 64 if count < 0 else min(64, count - sent)
                sock.sendall(one * n)
                sent += n
                if pause > 0 and self.stopping.wait(pause):
                    return False
                if self.stopping.is_set():
                    return False
        except OSError:
            return False
        return True

    def _wait_for_close(self, sock):
        while not self.stopping.is_set():
            if self._recv(sock) == b"":
                return "peer"
        return "server"


def run_control(server, port):
    """The control endpoint: a tiny HTTP/1.0 server on its own thread."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    listener.settimeout(0.2)

    def answer(sock):
        try:
            sock.settimeout(5)
            data = b""
            while b"\r\n\r\n" not in data:
                chunk = sock.recv(65536)
                if not chunk:
                    return
                data += chunk
            head, _, body = data.partition(b"\r\n\r\n")
            lines = head.decode("latin-1").split("\r\n")
            method, path = lines[0].split(" ")[:2]
            length = 0
            for line in lines[1:]:
                name, _, value = line.partition(":")
                if name.strip().lower() == "content-length":
                    length = int(value.strip())
            while len(body) < length:
                chunk = sock.recv(65536)
                if not chunk:
                    break
                body += chunk
            status, result = 200, None
            try:
                if method == "GET" and path == "/state":
                    result = server.state()
                elif method == "GET" and path == "/requests":
                    with server.lock:
                        result = list(server.requests)
                elif method == "GET" and path == "/connections":
                    with server.lock:
                        result = [dict(c) for _, c in sorted(server.conn_log.items())]
                elif method == "POST" and path == "/config":
                    result = server.update(json.loads(body.decode("utf-8") or "{}"))
                elif method == "POST" and path == "/reset":
                    server.reset()
                    result = server.state()
                elif method == "POST" and path == "/quit":
                    result = {"quitting": True}
                    threading.Timer(0.05, server.stop).start()
                else:
                    status, result = 404, {"error": "no such control: %s %s" % (method, path)}
            except (ValueError, TypeError) as e:
                status, result = 400, {"error": str(e)}
            payload = json.dumps(result).encode("utf-8")
            sock.sendall(b"HTTP/1.0 %d X\r\nContent-Type: application/json\r\nContent-Length: %d\r\n\r\n"
                         % (status, len(payload)) + payload)
        except (OSError, ValueError):
            pass
        finally:
            sock.close()

    def loop():
        while not server.stopping.is_set():
            try:
                sock, _ = listener.accept()
            except socket.timeout:
                continue
            except OSError:
                break
            threading.Thread(target=answer, args=(sock,), daemon=True).start()
        listener.close()

    threading.Thread(target=loop, daemon=True).start()


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--port", type=int, default=18631)
    p.add_argument("--control-port", type=int, default=0, help="control endpoint port (0: none)")
    p.add_argument("--mode", choices=["serve", "demo", "hang", "close", "reset", "raw", "interim", "trickle"],
                   default="serve")
    p.add_argument("--demo", action="store_true", help="same as --mode demo")
    p.add_argument("--body", default="", help="reply body text")
    p.add_argument("--body-encoding", default="utf-8")
    p.add_argument("--status", type=int, default=200)
    p.add_argument("--content-type", default="text/html")
    p.add_argument("--header", action="append", default=[], help='extra reply header "Name: value"')
    p.add_argument("--no-content-length", action="store_true")
    p.add_argument("--connection", default="keep-alive")
    p.add_argument("--hold", action="store_true", help="keep the connection open after replying")
    p.add_argument("--delay-ms", type=int, default=0)
    p.add_argument("--drip-ms", type=int, default=0)
    p.add_argument("--drip-size", type=int, default=1)
    p.add_argument("--raw-file", help="file whose bytes the raw mode sends")
    p.add_argument("--interim", type=int, default=-1, help="interim replies before the reply (-1: endless)")
    p.add_argument("--interim-ms", type=int, default=0, help="pause between interim replies")
    p.add_argument("--log", help="append each request as a JSON line to this file")
    p.add_argument("--lifetime", type=float, default=600.0, help="seconds until the server stops itself")
    p.add_argument("--ready-file")
    p.add_argument("--seed", type=int)
    a = p.parse_args(argv)

    config = {
        "mode": "demo" if a.demo else a.mode,
        "body": a.body,
        "body_encoding": a.body_encoding,
        "status": a.status,
        "content_type": a.content_type,
        "headers": a.header,
        "content_length": not a.no_content_length,
        "connection": a.connection,
        "hold": a.hold,
        "delay_ms": a.delay_ms,
        "drip_ms": a.drip_ms,
        "drip_size": a.drip_size,
        "interim": a.interim,
        "interim_ms": a.interim_ms,
    }
    if a.raw_file:
        with open(a.raw_file, "rb") as f:
            config["raw"] = f.read().decode("latin-1")
    server = QuoteServer(a.port, config, a.log, a.lifetime, a.seed)
    if a.control_port:
        run_control(server, a.control_port)
    line = "port=%d control_port=%d" % (a.port, a.control_port)
    if a.ready_file:
        with open(a.ready_file, "w") as f:
            f.write(line + "\n")
    print(line, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
