#!/usr/bin/env python3
"""Corvane's IP-echo page as a small standalone server (Python 3 standard library only).

Every GET (and HEAD) is answered with the caller's address between the markers
Corvane cuts it out from:

    <html><body><!--startip-->203.0.113.7<!--endip--></body></html>

    echo_server.py [--host ADDR] [--port N] [--trust-proxy [PROXY ...]] [--quiet]

--port 0 takes a free port. The first line on stdout is "listening on HOST:PORT".

Behind a reverse proxy the caller seen is the proxy. --trust-proxy makes the
server believe X-Forwarded-For (else X-Real-IP), but only on connections that
come from a trusted proxy: the listed addresses or networks (e.g. 127.0.0.1
10.0.0.0/8), or any peer when none are listed. The forwarded list is read from
its end: each trusted proxy adds the address it saw last, so the rightmost
address that is not a trusted proxy is the caller; anything left of it may be
made up by the caller. Without --trust-proxy the headers are ignored, since any
caller can send them.
"""

import argparse
import html
import http.server
import ipaddress
import socket
import sys

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

    def __init__(self, enabled, proxies):
        self.enabled = enabled
        self.networks = [ipaddress.ip_network(p, strict=False) for p in proxies]

    def trusts(self, address):
        if not self.enabled or address is None:
            return False
        if not self.networks:
            return True
        return any(address.version == n.version and address in n for n in self.networks)

    def caller(self, peer, forwarded_for, real_ip):
        """The address to show for a connection from `peer` with these headers."""
        peer_address = parse_address(peer)
        if not self.trusts(peer_address):
            return peer_address or peer
        if forwarded_for:
            hops = [h for h in ",".join(forwarded_for).split(",") if h.strip()]
            if self.networks:
                # Walk back over our own proxies to the first hop we did not add.
                for hop in reversed(hops):
                    address = parse_address(hop)
                    if address is None:
                        return peer_address
                    if not self.trusts(address):
                        return address
                # Every hop is one of ours: the first is where the request began.
                return parse_address(hops[0])
            address = parse_address(hops[-1]) if hops else None
            return address or peer_address
        if real_ip:
            return parse_address(real_ip) or peer_address
        return peer_address


class EchoHandler(http.server.BaseHTTPRequestHandler):
    server_version = "CorvaneEcho/1.0"
    sys_version = ""

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

    def __init__(self, host, port, trust, quiet):
        if ":" in host:
            self.address_family = socket.AF_INET6
        self.trust = trust
        self.quiet = quiet
        super().__init__((host, port), EchoHandler)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Answers every GET with the caller's address for Corvane.")
    parser.add_argument("--host", default="0.0.0.0", help="address to listen on (default 0.0.0.0; :: for IPv6)")
    parser.add_argument("--port", type=int, default=8080, help="port to listen on (default 8080, 0 for any)")
    parser.add_argument("--trust-proxy", nargs="*", metavar="PROXY", default=None,
                        help="believe X-Forwarded-For / X-Real-IP from these proxy addresses or networks "
                             "(from any peer if none are given)")
    parser.add_argument("--quiet", action="store_true", help="log no requests")
    options = parser.parse_args(argv)
    try:
        trust = ProxyTrust(options.trust_proxy is not None, options.trust_proxy or [])
    except ValueError as e:
        parser.error("--trust-proxy: %s" % e)
    server = EchoServer(options.host, options.port, trust, options.quiet)
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
