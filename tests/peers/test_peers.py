"""peers.py checked with Python's own clients (smtplib, poplib, urllib), so a
fault in the C++ client and one in the servers cannot hide each other."""

import os
import poplib
import signal
import smtplib
import socket
import ssl
import subprocess
import sys
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(HERE, "peers.py")
PYTHON = "/usr/bin/python3"


def parse_messages(data):
    """The record format of README.md, parsed independently of the C++ client."""
    mails, pos = [], 0
    while pos < len(data):
        end = data.index(b"\r\n", pos)
        assert data[pos:pos + 5] == b"MAIL "
        n = int(data[pos + 5:end])
        record = data[end + 2:end + 2 + n]
        assert data[end + 2 + n:end + 4 + n] == b"\r\n"
        pos = end + 4 + n
        fields, to, rpos = {}, [], 0
        while not record.startswith(b"content ", rpos):
            line_end = record.index(b"\n", rpos)
            key, value = record[rpos:line_end].decode("latin-1").split(": ", 1)
            value = urllib.parse.unquote(value, encoding="latin-1")
            to.append(value) if key == "to" else fields.__setitem__(key, value)
            rpos = line_end + 1
        line_end = record.index(b"\n", rpos)
        size = int(record[rpos + 8:line_end])
        fields["to"], fields["content"] = to, record[line_end + 1:]
        assert len(fields["content"]) == size
        mails.append(fields)
    return mails


def alive(pid):
    # An orphan nobody reaps stays a zombie here; it runs no more, so it counts as gone.
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


class PeersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.proc = subprocess.Popen([PYTHON, PEERS, "--serve"], stdout=subprocess.PIPE)
        cls.base = "http://127.0.0.1:%d" % int(cls.proc.stdout.readline())

    @classmethod
    def tearDownClass(cls):
        cls.proc.terminate()
        cls.proc.wait(10)
        cls.proc.stdout.close()

    def tearDown(self):
        self.get("/stopall")

    def get(self, path, **query):
        url = self.base + path + ("?" + urllib.parse.urlencode(query) if query else "")
        with urllib.request.urlopen(url, timeout=10) as reply:
            return reply.read()

    def bad(self, path, **query):
        with self.assertRaises(urllib.error.HTTPError) as caught:
            self.get(path, **query)
        self.assertEqual(400, caught.exception.code)
        return caught.exception.read().decode()

    def test_smtp_records_auth_and_exact_content(self):
        port = int(self.get("/smtp/start", auth="login,plain", user="me", password="pw"))
        with smtplib.SMTP("127.0.0.1", port, local_hostname="box", timeout=10) as smtp:
            smtp.ehlo()
            self.assertEqual("LOGIN PLAIN", smtp.esmtp_features["auth"].strip())
            smtp.login("me", "pw")
            smtp.sendmail("a@x", ["b@y"], b"Subject: s\r\n\r\n.lead\r\nbare\nlf\r\n")
        with smtplib.SMTP("127.0.0.1", port, timeout=10) as smtp:
            with self.assertRaises(smtplib.SMTPAuthenticationError) as caught:
                smtp.login("me", "nope")
            self.assertEqual(535, caught.exception.smtp_code)
        mails = parse_messages(self.get("/smtp/messages", port=port))
        self.assertEqual(1, len(mails))
        self.assertEqual(("a@x", ["b@y"], "me", "pw", "box"),
                         (mails[0]["from"], mails[0]["to"], mails[0]["auth_user"],
                          mails[0]["auth_password"], mails[0]["helo"]))
        self.assertIn(mails[0]["auth_mech"], ("LOGIN", "PLAIN"))
        self.assertEqual(b"Subject: s\r\n\r\n.lead\r\nbare\nlf\r\n", mails[0]["content"])

    def test_smtp_fail_after_dot(self):
        port = int(self.get("/smtp/start", fail="dot:554:no thanks"))
        with smtplib.SMTP("127.0.0.1", port, timeout=10) as smtp:
            with self.assertRaises(smtplib.SMTPDataError) as caught:
                smtp.sendmail("a@x", ["b@y"], b"x\r\n")
            self.assertEqual((554, b"no thanks"), (caught.exception.smtp_code, caught.exception.smtp_error))
        self.assertEqual(b"", self.get("/smtp/messages", port=port))

    def client_context(self):
        context = ssl.create_default_context(cadata=self.get("/tls/ca").decode())
        return context

    def test_smtp_starttls_refuses_plaintext_auth_until_upgraded(self):
        port = int(self.get("/smtp/start", tls="starttls", auth="plain", user="me", password="pw",
                            auth_require_tls="1"))
        with smtplib.SMTP("localhost", port, timeout=10) as smtp:
            smtp.ehlo()
            self.assertTrue(smtp.has_extn("starttls"))
            self.assertFalse(smtp.has_extn("auth"))
            code, _ = smtp.docmd("AUTH", "PLAIN AG1lAHB3")
            self.assertEqual(538, code)
            smtp.starttls(context=self.client_context())
            smtp.ehlo()
            self.assertFalse(smtp.has_extn("starttls"))
            smtp.login("me", "pw")
            smtp.sendmail("a@x", ["b@y"], b"x\r\n")
        self.assertEqual(1, len(parse_messages(self.get("/smtp/messages", port=port))))
        self.assertEqual(b"EHLO plain\nAUTH plain\nSTARTTLS plain\nEHLO tls\nAUTH tls\nMAIL tls\n"
                         b"RCPT tls\nDATA tls\nQUIT tls\n", self.get("/smtp/log", port=port))

    def test_smtp_implicit_tls_and_the_certificates_it_can_present(self):
        port = int(self.get("/smtp/start", tls="implicit"))
        with smtplib.SMTP_SSL("localhost", port, timeout=10, context=self.client_context()) as smtp:
            smtp.sendmail("a@x", ["b@y"], b"x\r\n")
        self.assertEqual(b"EHLO tls\nMAIL tls\nRCPT tls\nDATA tls\nQUIT tls\n", self.get("/smtp/log", port=port))
        for cert, reason in (("wronghost", "Hostname mismatch"), ("untrusted", "self-signed certificate in certificate chain")):
            port = int(self.get("/smtp/start", tls="implicit", cert=cert))
            with self.assertRaises(ssl.SSLCertVerificationError) as caught:
                smtplib.SMTP_SSL("localhost", port, timeout=10, context=self.client_context())
            self.assertIn(reason, str(caught.exception))
            self.assertEqual(b"", self.get("/smtp/log", port=port))

    def test_pop3_log(self):
        port = int(self.get("/pop3/start", user="u", password="p"))
        pop = poplib.POP3("127.0.0.1", port, timeout=10)
        pop.user("u")
        self.assertRaises(poplib.error_proto, pop.pass_, "x")
        pop.pass_("p")
        pop.quit()
        self.assertEqual(b"USER u\nPASS x\nPASS p\nQUIT\n", self.get("/pop3/log", port=port))

    def test_http_page_and_stop(self):
        port = int(self.get("/http/start"))
        self.get("/http/set", port=port, status="503", body="busy")
        with self.assertRaises(urllib.error.HTTPError) as caught:
            urllib.request.urlopen("http://127.0.0.1:%d/" % port, timeout=10)
        self.assertEqual((503, b"busy"), (caught.exception.code, caught.exception.read()))
        self.assertEqual(b"1", self.get("/http/hits", port=port))
        self.get("/stop", port=port)
        self.assertRaises(OSError, socket.create_connection, ("127.0.0.1", port), 2)

    def test_http_records_requests_and_serves_https_itself(self):
        port = int(self.get("/http/start", tls="implicit"))
        self.get("/http/set", port=port, body="good 1.2.3.4")
        context = ssl.create_default_context(cadata=self.get("/tls/ca").decode())
        request = urllib.request.Request("https://localhost:%d/up?x=1" % port, data=b'{"a":1}',
                                         headers={"Content-Type": "application/json"})
        self.assertEqual(b"good 1.2.3.4", urllib.request.urlopen(request, timeout=10, context=context).read())
        record = self.get("/http/requests", port=port)
        self.assertTrue(record.startswith(b"REQUEST "), record)
        self.assertIn(b"\r\nPOST /up?x=1 HTTP/1.1\r\n", record)
        self.assertIn(b"\r\nContent-Type: application/json\r\n", record)
        self.assertTrue(record.endswith(b'\r\n\r\n{"a":1}\r\n'), record)

    def test_peers_listen_on_loopback_only(self):
        port = int(self.get("/http/start"))
        listening = [line.split() for line in open("/proc/net/tcp").read().splitlines()[1:]]
        local = [fields[1] for fields in listening if fields[3] == "0A"]  # 0A: LISTEN
        self.assertIn("0100007F:%04X" % port, local)
        self.assertNotIn("00000000:%04X" % port, local)

    def test_bad_requests(self):
        self.assertIn("unknown request", self.bad("/pop3/begin"))
        self.assertIn("missing parameter: port", self.bad("/http/hits"))
        self.assertIn("sendn needs", self.bad("/raw/start", script="sendn:3:AB"))
        self.assertIn("require_auth must be 0 or 1", self.bad("/smtp/start", require_auth="yes"))
        self.assertIn("cert must be one of", self.bad("/smtp/start", tls="starttls", cert="any"))
        self.assertIn("tls must be", self.bad("/smtp/start", tls="ssl"))
        self.assertIn("auth_require_tls needs tls=starttls", self.bad("/smtp/start", auth_require_tls="1"))

    def test_addresses_are_never_changed_outside_a_namespace_of_the_tests_own(self):
        # This server was started without the variable: the request is refused before any address is read.
        self.assertIn("network namespace", self.bad("/net/ipv6", dev="lo", add="2001:db8::9/128"))


class RunModeTest(unittest.TestCase):
    def test_exit_code_and_environment_pass_through(self):
        script = ("import os,sys,urllib.request;"
                  "h=os.environ['CORVANE_PEERS'];assert h.startswith('127.0.0.1:');"
                  "urllib.request.urlopen('http://'+h+'/http/start').read();sys.exit(7)")
        rc = subprocess.run([PYTHON, PEERS, "--run", "--", PYTHON, "-c", script], timeout=30).returncode
        self.assertEqual(7, rc)
        self.assertEqual(127, subprocess.run([PYTHON, PEERS, "--run", "--", "/nonexistent/cmd"],
                                             stderr=subprocess.DEVNULL, timeout=30).returncode)

    def test_signal_stops_command_its_children_and_peers(self):
        # The command starts a grandchild and an SMTP peer, then waits; a
        # SIGTERM to peers.py must leave neither process nor listener behind.
        script = ("import os,subprocess,sys,time,urllib.request;"
                  "h=os.environ['CORVANE_PEERS'];"
                  "p=urllib.request.urlopen('http://'+h+'/smtp/start').read().decode();"
                  "g=subprocess.Popen(['sleep','60']);"
                  "print(p,g.pid,flush=True);time.sleep(60)")
        run = subprocess.Popen([PYTHON, PEERS, "--run", "--", PYTHON, "-c", script], stdout=subprocess.PIPE)
        port, grandchild = map(int, run.stdout.readline().split())
        start = time.monotonic()
        run.send_signal(signal.SIGTERM)
        self.assertEqual(128 + signal.SIGTERM, run.wait(15))
        run.stdout.close()
        self.assertLess(time.monotonic() - start, 8)
        for _ in range(50):
            if not alive(grandchild):
                break
            time.sleep(0.1)
        else:
            self.fail("the command's child outlived peers.py")
        self.assertRaises(OSError, socket.create_connection, ("127.0.0.1", port), 2)


if __name__ == "__main__":
    unittest.main()
