#!/usr/bin/env python3
"""Corvane's IP-echo page as a small standalone server (Python 3 standard library only).

Every GET (and HEAD) is answered with the caller's address between the markers
Corvane cuts it out from:

    <html><body><!--startip-->203.0.113.7<!--endip--></body></html>

    echo_server.py [--host ADDR] [--port N] [--trust-proxy PROXY ...]
                   [--timeout SECONDS] [--max-connections N] [--quiet]

--port 0 takes a free port. The first line on stdout is "listening on HOST:PORT".

Behind a reverse proxy the caller seen is the proxy. --trust-proxy makes the
server believe X-Forwarded-For (else X-Real-IP), but only on connections that
come from a trusted proxy: the listed addresses or networks (e.g. 127.0.0.1
10.0.0.0/8); at least one must be named, since trusting every peer would let
any caller choose the address shown. The forwarded list is read from its end:
each trusted proxy adds the address it saw last, so the rightmost address that
is not a trusted proxy is the caller; anything left of it may be made up by
the caller. Without --trust-proxy the headers are ignored.

A page is a few hundred bytes, so a connection gets --timeout seconds in all
(default 10) however slowly its client sends, and at most --max-connections
(default 64) are served at once; more are closed at once, so idle or slow
clients cannot hold the server.
"""

import argparse
import html
import http.server
import ipaddress
import socket
import sys
import threading

START_MARKER = "<!--startip-->"
END_MARKER = "<!--endip-->"


def parse_address(text):
    """An IP address from header text, or None. IPv4 seen through IPv6 is shown as IPv4."""
    text = text.strip()
    if text.startswith("[") and "]" in text:  # [v6]:port
        text = text[1:text.index("]")]
    elif text.count(":") == 1:  # v4:port
        text = text.split(":")[0]
    try:
        address = ipaddress.ip_address(text)
    except ValueError:
        return None
    if address.version == 6 and address.ipv4_mapped:
        return address.ipv4_mapped
    return address


class ProxyTrust:
    """Which direct peers may tell us the caller's address."""

    def __init__(self, proxies):
        self.networks = [ipaddress.ip_network(p, strict=False) for p in proxies]

    def trusts(self, address):
        if address is None:
            return False
        return any(address.version == n.version and address in n for n in self.networks)

    def caller(self, peer, forwarded_for, real_ip):
        """The address to show for a connection from `peer` with these headers."""
        peer_address = parse_address(peer)
        if not self.trusts(peer_address):
            return peer_address or peer
        hops = [h for h in ",".join(forwarded_for or []).split(",") if h.strip()]
        if hops:
            # Walk back over our own proxies to the first hop we did not add.
            for hop in reversed(hops):
                address = parse_address(hop)
                if address is None:
                    return peer_address
                if not self.trusts(address):
                    return address
            # Every hop is one of ours: the first is where the request began.
            return parse_address(hops[0])
        if real_ip:
            return parse_address(real_ip) or peer_address
        return peer_address


class EchoHandler(http.server.BaseHTTPRequestHandler):
    server_version = "CorvaneEcho/1.0"
    sys_version = ""

    def setup(self):
        # Each read waits at most the whole time-out, and a timer ends the
        # connection when its time is up, however the client paces its bytes.
        self.timeout = self.server.connection_timeout
        self.deadline = threading.Timer(self.server.connection_timeout, self.cut_off)
        self.deadline.daemon = True
        self.deadline.start()
        super().setup()

    def cut_off(self):
        try:
            self.request.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def finish(self):
        self.deadline.cancel()
        try:
            super().finish()
        except OSError:
            pass

    def page(self):
        peer = self.client_address[0]
        caller = self.server.trust.caller(peer, self.headers.get_all("X-Forwarded-For"),
                                          self.headers.get("X-Real-IP"))
        body = "<html><body>%s%s%s</body></html>\n" % (START_MARKER, html.escape(str(caller)), END_MARKER)
        return body.encode("ascii", "replace")

    def send_page(self, with_body):
        body = self.page()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=us-ascii")
        self.send_header("Content-Length", str(len(body)))
        # Every answer is for one caller at one moment; nothing may keep it.
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if with_body:
            self.wfile.write(body)

    def do_GET(self):
        self.send_page(True)

    def do_HEAD(self):
        self.send_page(False)

    def refuse(self):
        body = b"Only GET and HEAD are answered here.\n"
        self.send_response(405)
        self.send_header("Allow", "GET, HEAD")
        self.send_header("Content-Type", "text/plain; charset=us-ascii")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    do_POST = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = do_TRACE = do_CONNECT = refuse

    def log_message(self, format, *args):
        if not self.server.quiet:
            super().log_message(format, *args)


class EchoServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, host, port, trust, quiet, timeout=10.0, max_connections=64):
        if ":" in host:
            self.address_family = socket.AF_INET6
        self.trust = trust
        self.quiet = quiet
        self.connection_timeout = timeout
        self.slots = threading.BoundedSemaphore(max_connections)
        super().__init__((host, port), EchoHandler)

    def process_request(self, request, client_address):
        # Past the limit a connection is closed unanswered rather than queued
        # behind clients that may never finish.
        if not self.slots.acquire(blocking=False):
            self.shutdown_request(request)
            return
        super().process_request(request, client_address)

    def process_request_thread(self, request, client_address):
        try:
            super().process_request_thread(request, client_address)
        finally:
            self.slots.release()


def main(argv=None):
    parser = argparse.ArgumentParser(description="Answers every GET with the caller's address for Corvane.")
    parser.add_argument("--host", default="0.0.0.0", help="address to listen on (default 0.0.0.0; :: for IPv6)")
    parser.add_argument("--port", type=int, default=8080, help="port to listen on (default 8080, 0 for any)")
    parser.add_argument("--trust-proxy", nargs="+", metavar="PROXY", default=[],
                        help="believe X-Forwarded-For / X-Real-IP from these proxy addresses or networks")
    parser.add_argument("--timeout", type=float, default=10.0,
                        help="seconds one connection may take in all (default 10)")
    parser.add_argument("--max-connections", type=int, default=64,
                        help="connections served at once (default 64)")
    parser.add_argument("--quiet", action="store_true", help="log no requests")
    options = parser.parse_args(argv)
    if options.timeout <= 0 or options.max_connections < 1:
        parser.error("--timeout and --max-connections must be positive")
    try:
        trust = ProxyTrust(options.trust_proxy)
    except ValueError as e:
        parser.error("--trust-proxy: %s" % e)
    server = EchoServer(options.host, options.port, trust, options.quiet, options.timeout, options.max_connections)
    host, port = server.server_address[:2]
    print("listening on %s:%d" % (host, port), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
