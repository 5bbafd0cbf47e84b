#!/usr/bin/env python3
"""Loopback stand-in for the widget's four services, for demo runs and fault tests.

One plain-HTTP port answers for the notice host, the medal-feed host and the flag host
(their paths do not collide); one HTTPS port, with a self-signed certificate made at start,
answers for the Weibo host. Both bind 127.0.0.1 only. Python 3 standard library plus the
openssl command.

    python3 sample/server.py [--http-port N] [--https-port N] [--ready-file PATH]
                             [--fault [ROUTE=]MODE ...] [--medal-feed FILE] [--hot-page FILE]
                             [--notice-file FILE] [--quiet]

Once both ports listen it prints one line "HTTP_PORT=<n> HTTPS_PORT=<n>" on stdout and, with
--ready-file, writes the same line to that file (atomically, by rename). It runs until
SIGINT or SIGTERM.

Routes: "notice" GET /velk1.txt?<number>; "medals" GET /olympic/getOlyMedals with the
widget's exact query; "flags" GET /sports/data/olympic/teamImg/<CODE>.png; "hot" GET
/top/summary?cate=realtimehot over HTTPS (and /weibo?q=... there, a stub search page for
clicks). Anything else is a 404.

Fault modes, for one route or for all: refuse (the connection is reset once the request is
read, no response), hang (no response until the server stops), cut (headers and half of the
body, then the connection closes), 500 (an error page), garbage (bytes that are no HTTP
response, then close), huge (a 200 response of 50 MiB: the normal body, then filler).
They are chosen by --fault, by a "fault=MODE" query parameter on one request, or at run
time with GET /_fault?route=ROUTE&mode=MODE on the HTTP port (mode "none" clears it;
route "all" or omitted means every route).
"""

import argparse
import http.server
import os
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))

MEDAL_PATH = "/olympic/getOlyMedals"
MEDAL_QUERY = {"serviceId": "pcocean", "itemcode": "GEN" + "-" * 31, "t": "jsonp",
               "cb": "banomedals"}
FLAG_PREFIX = "/sports/data/olympic/teamImg/"
ROUTES = ("notice", "medals", "flags", "hot")
MODES = ("refuse", "hang", "cut", "500", "garbage", "huge")
HUGE_SIZE = 50 * 1024 * 1024

ERROR_PAGE = (b"<html>\r\n<head><title>500 Internal Server Error</title></head>\r\n"
              b"<body>\r\n<center><h1>500 Internal Server Error</h1></center>\r\n"
              b"</body>\r\n</html>\r\n")
NOT_FOUND_PAGE = (b"<html>\r\n<head><title>404 Not Found</title></head>\r\n"
                  b"<body>\r\n<center><h1>404 Not Found</h1></center>\r\n</body>\r\n</html>\r\n")
GARBAGE = bytes((i * 151 + 17) % 256 for i in range(4096))


class Faults:
    """The fault mode of each route, changed from request threads at run time."""

    def __init__(self):
        self._lock = threading.Lock()
        self._modes = {}

    def Set(self, route, mode):
        routes = ROUTES if route in (None, "", "all") else (route,)
        with self._lock:
            for r in routes:
                if mode in (None, "", "none"):
                    self._modes.pop(r, None)
                else:
                    self._modes[r] = mode

    def Get(self, route):
        with self._lock:
            return self._modes.get(route)


def ParseFault(text):
    """"MODE" or "ROUTE=MODE" -> (route or None, mode); raises ValueError when unknown."""
    route, _, mode = text.rpartition("=")
    if route and route not in ROUTES + ("all",):
        raise ValueError("unknown route " + route)
    if mode not in MODES + ("none",):
        raise ValueError("unknown mode " + mode)
    return route or None, mode


def ReadFile(path):
    with open(path, "rb") as f:
        return f.read()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in two writes; with Nagle's algorithm the second waits for the
    # client's delayed ACK (about 40 ms), which would dwarf everything a demo run measures.
    disable_nagle_algorithm = True

    def version_string(self):
        return "velk-sample"

    # ------------------------------------------------------------------ dispatch

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        once = query.pop("fault", [None])[-1]
        if once is not None and once not in MODES + ("none",):
            return self.Answer(400, "text/plain", b"unknown mode\n")
        if self.server.secure:
            routed = self.RouteSecure(url.path, query)
        else:
            if url.path == "/_fault":
                return self.ChangeFault(query)
            routed = self.RoutePlain(url.path, query)
        if routed is None:
            return self.Answer(404, "text/html", NOT_FOUND_PAGE)
        route, content_type, body = routed
        mode = self.server.faults.Get(route) if once is None else once
        if mode and mode != "none":
            return self.Misbehave(mode, content_type, body)
        return self.Answer(200, content_type, body)

    def RoutePlain(self, path, query):
        options = self.server.options
        if path == "/velk1.txt":
            return "notice", "text/plain", options.notice
        if path == MEDAL_PATH:
            given = {k: v[-1] for k, v in query.items()}
            if given != MEDAL_QUERY:
                return None
            return "medals", "application/javascript;charset=UTF-8", options.medals
        if path.startswith(FLAG_PREFIX) and path.endswith(".png"):
            code = path[len(FLAG_PREFIX):-len(".png")]
            flag = self.server.flags.get(code)
            return None if flag is None else ("flags", "image/png", flag)
        return None

    def RouteSecure(self, path, query):
        if path == "/top/summary" and query.get("cate") == ["realtimehot"]:
            return "hot", "text/html; charset=utf-8", self.server.options.hot
        if path == "/weibo":
            key = query.get("q", [""])[0]
            escaped = key.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            page = ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escaped
                    + " - 微博搜索</title></head>\n<body><h1>" + escaped
                    + "</h1><p>示例搜索页</p></body></html>\n")
            return "search", "text/html; charset=utf-8", page.encode("utf-8")
        return None

    def ChangeFault(self, query):
        route = query.get("route", [None])[-1]
        mode = query.get("mode", ["none"])[-1]
        try:
            if route not in (None, "", "all") and route not in ROUTES:
                raise ValueError("unknown route " + route)
            ParseFault(mode)
        except ValueError as e:
            return self.Answer(400, "text/plain", (str(e) + "\n").encode())
        self.server.faults.Set(route, mode)
        return self.Answer(200, "text/plain", b"ok\n")

    # ------------------------------------------------------------------ answers

    def Answer(self, status, content_type, body, length=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        self.wfile.write(body)

    def Misbehave(self, mode, content_type, body):
        self.close_connection = True
        if mode == "refuse":
            # SO_LINGER with a zero timeout turns the close into a reset (RST).
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.RawSocket().close()
        elif mode == "hang":
            self.server.stopping.wait()
        elif mode == "cut":
            self.Answer(200, content_type, body[:len(body) // 2], length=len(body))
        elif mode == "500":
            self.Answer(500, "text/html", ERROR_PAGE)
        elif mode == "garbage":
            self.wfile.write(GARBAGE)
        elif mode == "huge":
            self.Answer(200, content_type, body, length=HUGE_SIZE)
            filler = (b" " * 1023 + b"\n") * 64
            left = HUGE_SIZE - len(body)
            while left > 0:
                self.wfile.write(filler[:left])
                left -= len(filler)

    def RawSocket(self):
        # On the HTTPS port the connection is an SSLSocket; a reset must skip the TLS close.
        sock = self.connection
        if isinstance(sock, ssl.SSLSocket):
            sock = socket.socket(fileno=sock.detach())
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        return sock

    # A client that goes away, a failed handshake or a reset of our own ends only the
    # connection concerned; none of them is worth a traceback.
    def handle_one_request(self):
        try:
            super().handle_one_request()
        except (OSError, ValueError):
            self.close_connection = True

    def finish(self):
        try:
            super().finish()
        except (OSError, ValueError):
            pass

    def log_message(self, format, *args):
        if not self.server.options.quiet:
            scheme = "https" if self.server.secure else "http"
            sys.stderr.write("sample-server %s %s\n" % (scheme, format % args))


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False

    def __init__(self, port, secure, shared):
        super().__init__(("127.0.0.1", port), Handler)
        self.secure = secure
        self.options = shared.options
        self.faults = shared.faults
        self.flags = shared.flags
        self.stopping = shared.stopping
        if secure:
            # The handshake runs lazily in the request thread, so a client that connects
            # and never speaks TLS cannot stall the accept loop.
            self.socket = shared.tls.wrap_socket(self.socket, server_side=True,
                                                 do_handshake_on_connect=False)


class Shared:
    pass


def MakeTlsContext(folder):
    key = os.path.join(folder, "key.pem")
    cert = os.path.join(folder, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                    "-subj", "/CN=s.weibo.com", "-addext",
                    "subjectAltName=DNS:s.weibo.com,DNS:localhost,IP:127.0.0.1",
                    "-keyout", key, "-out", cert],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def LoadFlags(folder):
    flags = {}
    if os.path.isdir(folder):
        for name in os.listdir(folder):
            if name.endswith(".png"):
                flags[name[:-len(".png")]] = ReadFile(os.path.join(folder, name))
    return flags


def WriteReadyFile(path, line):
    temporary = path + ".tmp"
    with open(temporary, "w") as f:
        f.write(line + "\n")
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="fault modes: " + ", ".join(MODES) + "; routes: " + ", ".join(ROUTES))
    parser.add_argument("--http-port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--https-port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--ready-file", help="written with the port line once listening")
    parser.add_argument("--fault", action="append", default=[], metavar="[ROUTE=]MODE",
                        help="misbehave on ROUTE (or on every route); repeatable")
    parser.add_argument("--medal-feed", default=os.path.join(HERE, "medals.jsonp"))
    parser.add_argument("--hot-page", default=os.path.join(HERE, "hot-summary.html"))
    parser.add_argument("--notice-file", default=os.path.join(HERE, "velk1.txt"))
    parser.add_argument("--flags-dir", default=os.path.join(HERE, "flags"))
    parser.add_argument("--quiet", action="store_true", help="no request log on stderr")
    options = parser.parse_args()

    shared = Shared()
    shared.faults = Faults()
    for text in options.fault:
        try:
            shared.faults.Set(*ParseFault(text))
        except ValueError as e:
            parser.error(str(e))
    try:
        options.medals = ReadFile(options.medal_feed)
        options.hot = ReadFile(options.hot_page)
        options.notice = ReadFile(options.notice_file)
    except OSError as e:
        parser.error(str(e))
    shared.options = options
    shared.flags = LoadFlags(options.flags_dir)
    shared.stopping = threading.Event()

    folder = tempfile.mkdtemp(prefix="velk-sample-")
    try:
        shared.tls = MakeTlsContext(folder)
        servers = [Server(options.http_port, False, shared),
                   Server(options.https_port, True, shared)]
    except (OSError, subprocess.CalledProcessError, ssl.SSLError) as e:
        shutil.rmtree(folder, ignore_errors=True)
        sys.exit("sample-server: cannot start: %s" % e)

    def Stop(signum, frame):
        shared.stopping.set()

    signal.signal(signal.SIGINT, Stop)
    signal.signal(signal.SIGTERM, Stop)
    threads = [threading.Thread(target=s.serve_forever, args=(0.1,), daemon=True) for s in servers]
    for t in threads:
        t.start()

    line = "HTTP_PORT=%d HTTPS_PORT=%d" % (servers[0].server_port, servers[1].server_port)
    if options.ready_file:
        WriteReadyFile(options.ready_file, line)
    print(line, flush=True)
    try:
        shared.stopping.wait()
    finally:
        for s in servers:
            s.shutdown()
            s.server_close()
        shutil.rmtree(folder, ignore_errors=True)
        if options.ready_file:
            try:
                os.remove(options.ready_file)
            except OSError:
                pass


if __name__ == "__main__":
    main()
