#!/usr/bin/env python3
"""echo/ip.php served by PHP's own built-in server on 127.0.0.1."""

import http.client
import os
import re
import socket
import subprocess
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE = re.compile(r"^<html><body><!--startip-->(.*?)<!--endip--></body></html>\n$")


def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


class IpPhp(unittest.TestCase):
    def setUp(self):
        self.port = free_port()
        self.php = subprocess.Popen(["php", "-S", "127.0.0.1:%d" % self.port, "-t", HERE],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop)
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        self.fail("php -S did not start")

    def stop(self):
        self.php.terminate()
        self.php.wait(10)

    def get(self, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request("GET", "/ip.php", headers=headers or {})
            reply = connection.getresponse()
            return reply, reply.read().decode("ascii")
        finally:
            connection.close()

    def test_the_page_shows_the_connecting_address_and_forged_headers_change_nothing(self):
        for headers in ({}, {"X-Forwarded-For": "203.0.113.9"}, {"X-Real-IP": "203.0.113.9"},
                        {"X-Forwarded-For": "<b>x</b>"}):
            with self.subTest(headers=headers):
                reply, body = self.get(headers)
                self.assertEqual(reply.status, 200)
                self.assertEqual(reply.getheader("Cache-Control"), "no-store")
                self.assertEqual(PAGE.match(body).group(1), "127.0.0.1", body)


if __name__ == "__main__":
    unittest.main(verbosity=2)
