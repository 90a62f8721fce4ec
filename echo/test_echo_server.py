#!/usr/bin/env python3
"""The echo server as a separate process on 127.0.0.1, spoken to over real sockets."""

import http.client
import os
import re
import socket
import subprocess
import sys
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "echo_server.py")
PAGE = re.compile(r"^<html><body><!--startip-->(.*?)<!--endip--></body></html>\n$")


class EchoServer:
    def __init__(self, *options):
        self.process = subprocess.Popen([sys.executable, SERVER, "--host", "127.0.0.1", "--port", "0", "--quiet",
                                         *options], stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        match = re.match(r"listening on 127\.0\.0\.1:(\d+)$", line.strip())
        if not match:
            self.stop()
            raise RuntimeError("the echo server did not start: %r" % line)
        self.port = int(match.group(1))

    def request(self, method="GET", headers=None, path="/ip.php"):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request(method, path, headers=headers or {})
            reply = connection.getresponse()
            return reply, reply.read().decode("ascii")
        finally:
            connection.close()

    def address(self, headers=None):
        """The address between the markers of a GET's page (the page must be nothing else)."""
        reply, body = self.request(headers=headers)
        if reply.status != 200:
            raise AssertionError("status %d" % reply.status)
        match = PAGE.match(body)
        if not match:
            raise AssertionError("not an echo page: %r" % body)
        return match.group(1)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.process.stdout.close()


class ServerCase(unittest.TestCase):
    options = ()

    def setUp(self):
        self.server = EchoServer(*self.options)
        self.addCleanup(self.server.stop)


class Direct(ServerCase):
    def test_get_shows_the_connecting_address_on_any_path(self):
        self.assertEqual(self.server.address(), "127.0.0.1")
        reply, body = self.server.request(path="/anything/else?x=1")
        self.assertEqual(PAGE.match(body).group(1), "127.0.0.1")
        self.assertEqual(reply.getheader("Content-Type"), "text/html; charset=us-ascii")
        self.assertEqual(reply.getheader("Cache-Control"), "no-store")
        self.assertEqual(int(reply.getheader("Content-Length")), len(body))

    def test_head_gives_the_headers_of_the_page_without_it(self):
        _, page = self.server.request("GET")
        reply, body = self.server.request("HEAD")
        self.assertEqual(reply.status, 200)
        self.assertEqual(body, "")
        self.assertEqual(int(reply.getheader("Content-Length")), len(page))

    def test_other_methods_are_refused_without_an_address(self):
        for method in ("POST", "PUT", "DELETE", "OPTIONS"):
            with self.subTest(method=method):
                reply, body = self.server.request(method)
                self.assertEqual(reply.status, 405)
                self.assertEqual(reply.getheader("Allow"), "GET, HEAD")
                self.assertNotIn("<!--startip-->", body)

    def test_forwarded_headers_are_ignored_unless_trusted(self):
        self.assertEqual(self.server.address({"X-Forwarded-For": "203.0.113.9"}), "127.0.0.1")
        self.assertEqual(self.server.address({"X-Real-IP": "203.0.113.9"}), "127.0.0.1")


class TrustTheLocalProxy(ServerCase):
    options = ("--trust-proxy", "127.0.0.1")

    def test_the_last_hop_is_the_caller(self):
        cases = {
            "198.51.100.7": "198.51.100.7",
            # The left part may be made up by the caller; the proxy added the last.
            "192.0.2.1, 203.0.113.9": "203.0.113.9",
            "192.0.2.1,203.0.113.9:51234": "203.0.113.9",
            "[2001:db8::5]:443": "2001:db8::5",
            "::ffff:198.51.100.8": "198.51.100.8",
        }
        for header, expected in cases.items():
            with self.subTest(header=header):
                self.assertEqual(self.server.address({"X-Forwarded-For": header}), expected)

    def test_real_ip_counts_when_there_is_no_forwarded_list(self):
        self.assertEqual(self.server.address({"X-Real-IP": "198.51.100.3"}), "198.51.100.3")
        self.assertEqual(self.server.address({"X-Real-IP": "198.51.100.3", "X-Forwarded-For": "203.0.113.4"}),
                         "203.0.113.4")

    def test_a_header_that_is_no_address_falls_back_to_the_connection(self):
        cases = [({"X-Forwarded-For": "<script>alert(1)</script>"}, "127.0.0.1"),
                 ({"X-Real-IP": "unknown"}, "127.0.0.1"),
                 ({"X-Forwarded-For": "198.51.100.1, "}, "198.51.100.1")]  # an empty last entry is no hop
        for headers, expected in cases:
            with self.subTest(headers=headers):
                self.assertEqual(self.server.address(headers), expected)


class TrustListedProxies(ServerCase):
    options = ("--trust-proxy", "127.0.0.1", "10.0.0.0/8")

    def test_our_own_proxies_are_skipped_from_the_right(self):
        cases = {
            "203.0.113.9, 10.1.2.3": "203.0.113.9",
            # A caller's made-up entry left of the real one changes nothing.
            "192.0.2.66, 203.0.113.9, 10.1.2.3": "203.0.113.9",
            # All ours: the request began at the first.
            "10.0.0.7, 10.1.2.3": "10.0.0.7",
        }
        for header, expected in cases.items():
            with self.subTest(header=header):
                self.assertEqual(self.server.address({"X-Forwarded-For": header}), expected)

    def test_a_bad_hop_before_the_caller_is_found_gives_the_connection(self):
        self.assertEqual(self.server.address({"X-Forwarded-For": "203.0.113.9, junk, 10.1.2.3"}), "127.0.0.1")


class UntrustedPeer(ServerCase):
    # The connection comes from 127.0.0.1, which is not in the trusted list.
    options = ("--trust-proxy", "10.0.0.0/8")

    def test_headers_from_a_peer_that_is_no_trusted_proxy_are_ignored(self):
        self.assertEqual(self.server.address({"X-Forwarded-For": "203.0.113.9"}), "127.0.0.1")
        self.assertEqual(self.server.address({"X-Real-IP": "203.0.113.9"}), "127.0.0.1")


class SlowClients(ServerCase):
    options = ("--timeout", "1", "--max-connections", "2")

    def connect(self):
        sock = socket.create_connection(("127.0.0.1", self.server.port), timeout=10)
        self.addCleanup(sock.close)
        return sock

    def test_an_idle_or_trickling_client_is_cut_off(self):
        idle = self.connect()
        trickling = self.connect()
        trickling.sendall(b"GET / HTTP/1.1\r\n")
        # Within the generous socket time-out, the server closes both.
        self.assertEqual(idle.recv(100), b"")
        for _ in range(20):
            try:
                trickling.sendall(b"X-A: b\r\n")
            except OSError:
                break
            time.sleep(0.1)
        self.assertEqual(trickling.recv(100), b"")

    def test_past_the_limit_connections_are_closed_and_the_server_stays_up(self):
        holders = [self.connect(), self.connect()]
        time.sleep(0.2)  # both accepted before the third arrives
        third = self.connect()
        third.sendall(b"GET / HTTP/1.0\r\n\r\n")
        self.assertEqual(third.recv(100), b"")
        for sock in holders:
            sock.close()
        for _ in range(50):
            try:
                self.assertEqual(self.server.address(), "127.0.0.1")
                break
            except (OSError, http.client.HTTPException):
                time.sleep(0.1)
        else:
            self.fail("the server did not answer again after the slow clients left")


class Options(unittest.TestCase):
    def test_trusting_proxies_needs_their_addresses(self):
        result = subprocess.run([sys.executable, SERVER, "--port", "0", "--trust-proxy"],
                                capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 2)
        self.assertIn("--trust-proxy", result.stderr)

    def test_a_malformed_proxy_list_is_refused_at_start(self):
        result = subprocess.run([sys.executable, SERVER, "--port", "0", "--trust-proxy", "not-a-network"],
                                capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 2)
        self.assertIn("--trust-proxy", result.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
