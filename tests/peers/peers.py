#!/usr/bin/python3
"""Local peer servers for Corvane's tests: SMTP, POP3, HTTP and scripted TCP.

A test talks to one control server (plain HTTP GETs, see README.md) and asks
it for the peers it needs. Every peer listens on 127.0.0.1 only, runs in its
own thread(s) so a stalled peer never holds up the control server or another
peer, and lives in this process, so nothing outlives it.

    peers.py --run -- CMD ARGS...   serve, run CMD with CORVANE_PEERS set, stop all,
                                    exit with CMD's exit code
    peers.py --serve [--port N]     serve until interrupted; first stdout line is the port
"""

import argparse
import asyncio
import http.server
import ipaddress
import logging
import os
import re
import select
import signal
import socket
import shutil
import socketserver
import ssl
import struct
import subprocess
import tempfile
import sys
import threading
import time
import urllib.parse
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

LOOPBACK = "127.0.0.1"

# aiosmtpd warns on every connection that AUTH without TLS is unsafe; here it is the point.
logging.getLogger("mail.log").setLevel(logging.ERROR)
warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")


class BadRequest(Exception):
    """A control request the peers cannot carry out; its text goes back as the 400 body."""


# ---------------------------------------------------------------- helpers

def bind_listener(port):
    """A listening socket on loopback; port 0 lets the OS pick a free one."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    # A fixed port (25 for whole-program tests) is reused test after test;
    # connections of the previous test may still sit in TIME_WAIT.
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        sock.bind((LOOPBACK, port))
    except OSError as e:
        sock.close()
        raise BadRequest(f"cannot listen on {LOOPBACK}:{port}: {e.strerror}")
    sock.listen(16)
    return sock


def as_bytes(text):
    # Query values are decoded as Latin-1 so every %XX maps to exactly one byte.
    return text.encode("latin-1")


def escape_value(text):
    """Keeps one field on one line; the C++ client undoes this."""
    return text.replace("%", "%25").replace("\r", "%0D").replace("\n", "%0A")


class Params:
    """Query parameters of one control request, checked against what the command knows."""

    def __init__(self, query, known):
        self.values = urllib.parse.parse_qs(query, keep_blank_values=True,
                                            encoding="latin-1", errors="strict")
        unknown = sorted(set(self.values) - set(known))
        if unknown:
            raise BadRequest("unknown parameter: " + ", ".join(unknown))

    def text(self, name, default=None):
        values = self.values.get(name)
        return values[-1] if values else default

    def all(self, name):
        return self.values.get(name, [])

    def number(self, name, default=None, low=0, high=None):
        value = self.text(name)
        if value is None:
            if default is None:
                raise BadRequest(f"missing parameter: {name}")
            return default
        try:
            number = int(value)
        except ValueError:
            raise BadRequest(f"{name} is not a number: {value!r}")
        if number < low or (high is not None and number > high):
            raise BadRequest(f"{name} out of range: {number}")
        return number

    def flag(self, name):
        value = self.text(name, "0")
        if value not in ("0", "1"):
            raise BadRequest(f"{name} must be 0 or 1, not {value!r}")
        return value == "1"


class ThreadedTcpServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    """A server on an already bound socket whose handler threads never block its shutdown."""

    daemon_threads = True
    block_on_close = False

    def __init__(self, sock, handler):
        super().__init__(sock.getsockname(), handler, bind_and_activate=False)
        self.socket.close()
        self.socket = sock
        self.stopping = threading.Event()

        self.active = set()
        self.active_lock = threading.Lock()

    def finish_request(self, request, client_address):
        with self.active_lock:
            self.active.add(request)
        try:
            super().finish_request(request, client_address)
        finally:
            with self.active_lock:
                self.active.discard(request)

    def close_connections(self):
        """Wakes handlers blocked on a client that stays silent."""
        with self.active_lock:
            requests = list(self.active)
        for request in requests:
            try:
                request.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def handle_error(self, request, client_address):
        pass  # a client that hangs up early is normal in fault tests


class ServerPeer:
    """A peer built on a socketserver, served from its own thread."""

    kind = "?"

    def __init__(self, server):
        self.server = server
        self.port = server.server_address[1]
        self.thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1},
                                       name=f"{self.kind}:{self.port}", daemon=True)
        self.thread.start()

    def stop(self):
        self.server.stopping.set()
        self.server.shutdown()
        self.server.close_connections()
        self.server.server_close()
        self.thread.join(timeout=5)


# ---------------------------------------------------------------- SMTP

SMTP_STAGES = ("ehlo", "helo", "mail", "rcpt", "data", "dot", "auth")
SMTP_MECHANISMS = ("LOGIN", "PLAIN")


def parse_failures(values):
    """fail=<stage>:<code>[:<text>], repeatable: the reply each stage gives instead of its own."""
    failures = {}
    for value in values:
        parts = value.split(":", 2)
        if len(parts) < 2 or parts[0] not in SMTP_STAGES:
            raise BadRequest(f"fail must be <stage>:<code>[:<text>] with a stage of "
                             f"{', '.join(SMTP_STAGES)}: {value!r}")
        stage, code = parts[0], parts[1]
        if not (len(code) == 3 and code.isdigit()):
            raise BadRequest(f"fail code must be three digits: {code!r}")
        text = parts[2] if len(parts) == 3 else f"Refused at {stage} by the test peer"
        failures[stage] = f"{code} {text}"
    return failures


# ---------------------------------------------------------------- TLS

TLS_MODES = ("none", "starttls", "implicit")
CERT_NAMES = ("localhost", "wronghost", "remote", "untrusted", "expired",
              "localhost-leaf", "untrusted-leaf", "expired-leaf")


class TestCertificates:
    """A throwaway authority and server certificates, made once per peers.py run."""

    def __init__(self):
        self.lock = threading.Lock()
        self.host_lock = threading.Lock()
        self.dir = None

    def path(self, name):
        with self.lock:
            if self.dir is None:
                directory = tempfile.mkdtemp(prefix="corvane-test-ca-")
                script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_ca.sh")
                result = subprocess.run(["bash", script, directory], capture_output=True, text=True)
                if result.returncode != 0:
                    shutil.rmtree(directory, ignore_errors=True)
                    raise BadRequest("cannot make the test certificates: " + result.stderr.strip())
                self.dir = directory
            return os.path.join(self.dir, name)

    def server_context(self, name, client_cert="none"):
        """NAME-leaf sends the certificate alone; client_cert=optional asks for one."""
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.path(name + ".pem"), self.path(name.removesuffix("-leaf") + ".key"))
        if client_cert == "optional":
            # A CertificateRequest names the accepted authorities, so some must be loaded.
            context.load_verify_locations(self.path("ca.pem"))
            context.verify_mode = ssl.CERT_OPTIONAL
        return context

    def host_context(self, host):
        """A context with a certificate for `host` from the test authority, made on first use."""
        name = "host-" + host
        certificate = self.path(name + ".pem")  # makes the authority first
        with self.host_lock:
            if not os.path.exists(certificate):
                script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_ca.sh")
                result = subprocess.run(["bash", script, os.path.dirname(certificate), host],
                                        capture_output=True, text=True)
                if result.returncode != 0:
                    raise ssl.SSLError("cannot make a certificate for %s: %s" % (host, result.stderr.strip()))
        return self.server_context(name)

    def authority_pem(self):
        with open(self.path("ca.pem"), "rb") as f:
            return f.read()

    def remove(self):
        with self.lock:
            if self.dir is not None:
                shutil.rmtree(self.dir, ignore_errors=True)
                self.dir = None


CERTIFICATES = TestCertificates()


class PeerSmtp(SMTP):
    """aiosmtpd's server, with the failures a test asked for in front of each command."""

    def __init__(self, peer, **kwargs):
        super().__init__(peer, **kwargs)
        self.peer = peer
        # Every command is logged by its verb alone (never its argument, which
        # may carry a password) with whether it came over TLS.
        self._smtp_methods = {verb: self._logged(verb, method) for verb, method in self._smtp_methods.items()}

    def _logged(self, verb, method):
        async def logged(arg):
            secure = self.peer.tls == "implicit" or self._tls_protocol is not None
            self.peer.log_command(f"{verb} {'tls' if secure else 'plain'}")
            await method(arg)
        return logged

    def connection_made(self, transport):
        super().connection_made(transport)
        self.peer.connections.add(self)

    def connection_lost(self, error):
        self.peer.connections.discard(self)
        super().connection_lost(error)

    async def _fail_or(self, stage, command, arg):
        reply = self.peer.failures.get(stage)
        if reply is not None:
            await self.push(reply)
        else:
            await command(arg)

    async def smtp_EHLO(self, arg):
        await self._fail_or("ehlo", super().smtp_EHLO, arg)

    async def smtp_HELO(self, arg):
        await self._fail_or("helo", super().smtp_HELO, arg)

    async def smtp_MAIL(self, arg):
        await self._fail_or("mail", super().smtp_MAIL, arg)

    async def smtp_RCPT(self, arg):
        await self._fail_or("rcpt", super().smtp_RCPT, arg)

    async def smtp_DATA(self, arg):
        await self._fail_or("data", super().smtp_DATA, arg)

    async def smtp_AUTH(self, arg):
        if not self.peer.mechanisms:
            await self.push("502 5.5.1 AUTH not offered")
            return
        await self._fail_or("auth", super().smtp_AUTH, arg)


class SmtpPeer:
    """One aiosmtpd server with its own event loop thread; records every accepted message."""

    kind = "smtp"

    def __init__(self, params):
        auth = params.text("auth", "none").lower()
        if auth == "none":
            self.mechanisms = ()
        else:
            self.mechanisms = tuple(m.upper() for m in auth.split(","))
            if not self.mechanisms or any(m not in SMTP_MECHANISMS for m in self.mechanisms):
                raise BadRequest(f"auth must be none or a list of login, plain: {auth!r}")
        self.user = as_bytes(params.text("user", ""))
        self.password = as_bytes(params.text("password", ""))
        self.require_auth = params.flag("require_auth")
        self.tls = params.text("tls", "none")
        if self.tls not in TLS_MODES:
            raise BadRequest("tls must be none, starttls or implicit")
        cert = params.text("cert", "localhost")
        if cert not in CERT_NAMES:
            raise BadRequest("cert must be one of " + ", ".join(CERT_NAMES))
        client_cert = params.text("client_cert", "none")
        if client_cert not in ("none", "optional"):
            raise BadRequest("client_cert must be none or optional")
        self.tls_context = CERTIFICATES.server_context(cert, client_cert) if self.tls != "none" else None
        # Not "auth_require_tls": aiosmtpd takes any handler attribute named
        # auth_* for an AUTH mechanism and would offer it.
        self.refuse_plain_auth = params.flag("auth_require_tls")
        if self.refuse_plain_auth and self.tls != "starttls":
            raise BadRequest("auth_require_tls needs tls=starttls")
        self.log = []
        self.failures = parse_failures(params.all("fail"))
        self.messages = []
        self.lock = threading.Lock()
        self.connections = set()

        sock = bind_listener(params.number("port", 0, high=65535))
        self.port = sock.getsockname()[1]
        self.loop = asyncio.new_event_loop()
        ready = threading.Event()
        self.thread = threading.Thread(target=self._serve, args=(sock, ready),
                                       name=f"smtp:{self.port}", daemon=True)
        self.thread.start()
        ready.wait(10)

    def _new_connection(self):
        return PeerSmtp(
            self,
            loop=self.loop,
            hostname="corvane-peer",
            # Plaintext AUTH is allowed unless a test asks for it to be refused;
            # with implicit TLS every byte is encrypted anyway.
            auth_require_tls=self.refuse_plain_auth,
            tls_context=self.tls_context if self.tls == "starttls" else None,
            auth_required=self.require_auth,
            auth_exclude_mechanism=[m for m in SMTP_MECHANISMS if m not in self.mechanisms],
            authenticator=self._authenticate,
            data_size_limit=None,
        )

    def _serve(self, sock, ready):
        asyncio.set_event_loop(self.loop)
        self.server = self.loop.run_until_complete(
            self.loop.create_server(self._new_connection, sock=sock,
                                    ssl=self.tls_context if self.tls == "implicit" else None))
        ready.set()
        try:
            self.loop.run_forever()
        finally:
            self.server.close()
            for connection in list(self.connections):
                if connection.transport is not None:
                    connection.transport.abort()
            pending = asyncio.all_tasks(self.loop)
            for task in pending:
                task.cancel()
            self.loop.run_until_complete(asyncio.gather(*pending, return_exceptions=True))
            self.loop.close()

    # --- aiosmtpd hooks

    def _authenticate(self, server, session, envelope, mechanism, auth_data):
        # handled=False: aiosmtpd then answers a refusal with 535 itself;
        # with handled=True the client would wait for a reply forever.
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == self.user and auth_data.password == self.password)
        if ok:
            session.corvane_auth = (mechanism, auth_data.login.decode("latin-1"),
                                    auth_data.password.decode("latin-1"))
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if not self.mechanisms:
            responses = [r for r in responses if not r[4:].startswith("AUTH")]
        return responses

    async def handle_DATA(self, server, session, envelope):
        refusal = self.failures.get("dot")
        if refusal is not None:
            return refusal
        mech, user, password = getattr(session, "corvane_auth", ("", "", ""))
        fields = [("from", envelope.mail_from or "")]
        fields += [("to", rcpt) for rcpt in envelope.rcpt_tos]
        fields += [("auth_mech", mech), ("auth_user", user), ("auth_password", password),
                   ("helo", session.host_name or "")]
        content = envelope.original_content or b""
        head = "".join(f"{key}: {escape_value(value)}\n" for key, value in fields)
        record = as_bytes(head) + b"content %d\n" % len(content) + content
        with self.lock:
            self.messages.append(record)
        return "250 OK message accepted"

    # --- control

    def log_command(self, entry):
        with self.lock:
            self.log.append(entry)

    def log_text(self):
        with self.lock:
            return "".join(entry + "\n" for entry in self.log).encode()

    def messages_text(self):
        with self.lock:
            records = list(self.messages)
        return b"".join(b"MAIL %d\r\n%s\r\n" % (len(r), r) for r in records)

    def stop(self):
        if self.loop.is_running():
            self.loop.call_soon_threadsafe(self.loop.stop)
        self.thread.join(timeout=5)


# ---------------------------------------------------------------- POP3

class Pop3Handler(socketserver.StreamRequestHandler):
    timeout = 60

    def setup(self):
        self.secure = False
        if self.server.peer.tls == "implicit":
            self.request = self.server.peer.tls_context.wrap_socket(self.request, server_side=True)
            self.secure = True
        super().setup()

    def start_tls(self):
        self.wfile.flush()
        self.request = self.server.peer.tls_context.wrap_socket(self.request, server_side=True)
        self.secure = True
        super().setup()

    def handle(self):
        peer = self.server.peer
        user = None
        self.wfile.write(b"+OK Corvane test POP3 ready\r\n")
        while not self.server.stopping.is_set():
            line = self.rfile.readline(4096)
            if not line:
                return
            line = line.rstrip(b"\r\n")
            with peer.lock:
                if peer.tls == "none":
                    peer.log.append(line)
                else:
                    peer.log.append((b"tls " if self.secure else b"plain ") + line)
            command, _, arg = line.partition(b" ")
            command = command.upper()
            if command == b"CAPA" and peer.tls == "stls":
                self.wfile.write(b"+OK\r\nUSER\r\n" + (b"" if self.secure else b"STLS\r\n") + b".\r\n")
            elif command == b"STLS" and peer.tls == "stls" and not self.secure:
                self.wfile.write(b"+OK begin TLS\r\n")
                self.start_tls()
            elif command == b"USER":
                user = arg
                self.wfile.write(b"+OK send PASS\r\n")
            elif command == b"PASS":
                if user == peer.user and arg == peer.password:
                    self.wfile.write(b"+OK logged in\r\n")
                else:
                    self.wfile.write(b"-ERR wrong user name or password\r\n")
            elif command == b"QUIT":
                self.wfile.write(b"+OK bye\r\n")
                return
            else:
                self.wfile.write(b"-ERR unknown command\r\n")


class Pop3Peer(ServerPeer):
    kind = "pop3"

    def __init__(self, params):
        self.user = as_bytes(params.text("user", ""))
        self.password = as_bytes(params.text("password", ""))
        self.tls = params.text("tls", "none")
        if self.tls not in ("none", "stls", "implicit"):
            raise BadRequest("tls must be none, stls or implicit")
        cert = params.text("cert", "localhost")
        if cert not in CERT_NAMES:
            raise BadRequest("cert must be one of " + ", ".join(CERT_NAMES))
        self.tls_context = CERTIFICATES.server_context(cert) if self.tls != "none" else None
        self.log = []
        self.lock = threading.Lock()
        server = ThreadedTcpServer(bind_listener(params.number("port", 0, high=65535)), Pop3Handler)
        server.peer = self
        super().__init__(server)

    def log_text(self):
        with self.lock:
            return b"".join(line + b"\n" for line in self.log)


# ---------------------------------------------------------------- HTTP

class Page:
    def __init__(self, status=200, body=b"", repeat=1, delay_ms=0, location=None, announce=True, retry_after=None):
        self.status, self.body, self.repeat = status, body, repeat
        self.delay_ms, self.location, self.retry_after = delay_ms, location, retry_after
        self.announce = announce  # False: no Content-Length, the body ends when the connection does


class HttpPeerHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    timeout = 60

    def log_message(self, *args):
        pass

    def do_CONNECT(self):
        # Set as the system's proxy, this peer is asked to tunnel to https
        # pages: it ends the tunnel itself, with a certificate for the asked
        # name from the test authority, and serves its page inside.
        host = self.path.rsplit(":", 1)[0]
        try:
            context = CERTIFICATES.host_context(host)
        except (ssl.SSLError, OSError, BadRequest):
            self.send_error(502)
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        try:
            tls = context.wrap_socket(self.connection, server_side=True)
        except (ssl.SSLError, OSError):
            self.close_connection = True
            return
        self.connection = tls
        self.rfile = tls.makefile("rb", self.rbufsize)
        self.wfile = tls.makefile("wb")
        self.close_connection = False  # the request inside comes next

    def setup(self):
        # tls=implicit: https straight to this peer, which ends TLS itself.
        context = self.server.peer.tls_context
        if context is not None:
            self.request = context.wrap_socket(self.request, server_side=True)
        super().setup()

    def do_POST(self):
        self.do_GET()

    do_PUT = do_PATCH = do_POST

    def do_GET(self):
        peer = self.server.peer
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        head = "".join("%s: %s\r\n" % (name, value) for name, value in self.headers.items())
        record = (self.requestline + "\r\n" + head + "\r\n").encode("latin-1") + body
        with peer.lock:
            peer.hits += 1
            peer.requests.append(record)
            page = peer.page
        if page.delay_ms and self.server.stopping.wait(page.delay_ms / 1000.0):
            return
        self.send_response(page.status)
        self.send_header("Content-Type", "text/html")
        if page.announce:
            self.send_header("Content-Length", str(len(page.body) * page.repeat))
        if page.location is not None:
            self.send_header("Location", page.location)
        if page.retry_after is not None:
            self.send_header("Retry-After", page.retry_after)
        self.end_headers()
        # Large pages go out in chunks of about 64 KB rather than one huge string.
        per_write = max(1, 65536 // max(1, len(page.body)))
        left = page.repeat if page.body else 0
        try:
            while left and not self.server.stopping.is_set():
                n = min(per_write, left)
                self.wfile.write(page.body * n)
                left -= n
        except (BrokenPipeError, ConnectionResetError):
            pass


class HttpPeer(ServerPeer):
    kind = "http"

    def __init__(self, params):
        self.page = Page()
        self.hits = 0
        self.requests = []
        self.lock = threading.Lock()
        tls = params.text("tls", "none")
        if tls not in ("none", "implicit"):
            raise BadRequest(f"tls must be none or implicit, not {tls!r}")
        cert = params.text("cert", "localhost")
        if cert not in CERT_NAMES:
            raise BadRequest(f"unknown cert: {cert!r}")
        self.tls_context = CERTIFICATES.server_context(cert) if tls == "implicit" else None
        server = ThreadedTcpServer(bind_listener(params.number("port", 0, high=65535)),
                                   HttpPeerHandler)
        server.peer = self
        super().__init__(server)

    def set_page(self, params):
        location = params.text("location")
        status = params.number("status", 302 if location is not None else 200, low=100, high=999)
        page = Page(status, as_bytes(params.text("body", "")), params.number("repeat", 1),
                    params.number("delay_ms", 0), location, params.number("announce", 1, high=1) != 0,
                    params.text("retry_after"))
        with self.lock:
            self.page = page

    def requests_text(self):
        with self.lock:
            records = list(self.requests)
        return b"".join(b"REQUEST %d\r\n%s\r\n" % (len(r), r) for r in records)


# ---------------------------------------------------------------- scripted TCP

def parse_script(script):
    steps = []
    for step in script.split("|"):
        name, _, arg = step.partition(":")
        if name == "send":
            steps.append(("send", urllib.parse.unquote_to_bytes(arg)))
        elif name in ("line", "close", "hold", "reset") and not arg:
            steps.append((name, None))
        elif name == "sleep" and arg.isdigit():
            steps.append(("sleep", int(arg)))
        elif name == "sendn":
            count, _, byte = arg.partition(":")
            byte = urllib.parse.unquote_to_bytes(byte)
            if not count.isdigit() or len(byte) != 1:
                raise BadRequest(f"sendn needs <count>:<one byte>: {step!r}")
            steps.append(("sendn", (int(count), byte)))
        else:
            raise BadRequest(f"unknown script step: {step!r}")
    return steps


class RawHandler(socketserver.BaseRequestHandler):
    def handle(self):
        sock, stopping, peer = self.request, self.server.stopping, self.server.peer
        sock.settimeout(0.2)
        pending = b""
        for name, arg in peer.steps:
            if stopping.is_set():
                return
            if name == "send":
                self._send(sock, arg, stopping)
            elif name == "sendn":
                count, byte = arg
                chunk = byte * 65536
                while count and not stopping.is_set():
                    n = min(count, len(chunk))
                    self._send(sock, chunk[:n], stopping)
                    count -= n
            elif name == "line":
                while b"\n" not in pending:
                    data = self._recv(sock, stopping)
                    if not data:
                        return
                    pending += data
                line, _, pending = pending.partition(b"\n")
                with peer.lock:
                    peer.log.append(line.rstrip(b"\r"))
            elif name == "sleep":
                if stopping.wait(arg / 1000.0):
                    return
            elif name == "close":
                return
            elif name == "reset":
                # Linger 0: the close is a TCP reset, not a FIN.
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                sock.close()
                return
            elif name == "hold":
                # Silent until the peer is stopped or the client gives up.
                while self._recv(sock, stopping):
                    pass
                return

    @staticmethod
    def _send(sock, data, stopping):
        # Short waits, so a client that stops reading cannot pin us past a stop.
        view = memoryview(data)
        while view and not stopping.is_set():
            try:
                view = view[sock.send(view):]
            except socket.timeout:
                continue

    @staticmethod
    def _recv(sock, stopping):
        while not stopping.is_set():
            try:
                return sock.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return b""
        return b""


class SerialTcpServer(ThreadedTcpServer):
    """One connection at a time, as a scripted fault should not overlap with the next."""

    def process_request(self, request, client_address):
        self.finish_request(request, client_address)
        self.shutdown_request(request)

    def handle_timeout(self):
        pass


class RawPeer:
    kind = "raw"

    def __init__(self, params):
        script = params.text("script")
        if script is None:
            raise BadRequest("missing parameter: script")
        self.steps = parse_script(script)
        self.log = []
        self.lock = threading.Lock()
        self.server = SerialTcpServer(bind_listener(params.number("port", 0, high=65535)),
                                      RawHandler)
        self.server.peer = self
        self.port = self.server.server_address[1]
        # serve_forever() runs the script inside its loop, so shutdown() would
        # wait for a held connection; a plain loop with a stop flag does not.
        self.thread = threading.Thread(target=self._serve, name=f"raw:{self.port}", daemon=True)
        self.thread.start()

    def _serve(self):
        server = self.server
        while not server.stopping.is_set():
            ready, _, _ = select.select([server.socket], [], [], 0.1)
            if ready:
                server._handle_request_noblock()

    def log_text(self):
        with self.lock:
            return b"".join(line + b"\n" for line in self.log)

    def stop(self):
        self.server.stopping.set()
        self.server.close_connections()
        self.thread.join(timeout=5)
        self.server.server_close()


# ---------------------------------------------------------------- addresses

# A script that has made a network namespace for its test names it here
# (as /proc/self/ns/net reads in there); only a control server running in
# that very namespace lets a test change interface addresses, so a variable
# that leaked into a shell on the host changes nothing.
OWN_NETWORK_VARIABLE = "CORVANE_PEERS_OWN_NETWORK"
DOCUMENTATION_PREFIX = ipaddress.ip_network("2001:db8::/32")


def in_own_network():
    named = os.environ.get(OWN_NETWORK_VARIABLE)
    try:
        return bool(named) and os.readlink("/proc/self/ns/net") == named
    except OSError:
        return False


def ipv6_interface(params, name):
    text = params.text(name)
    if text is None:
        return None
    try:
        interface = ipaddress.IPv6Interface(text)
    except ValueError:
        raise BadRequest(f"{name} is not an IPv6 address with its prefix length: {text!r}")
    # Documentation addresses only, so nothing real is ever added or taken.
    if interface.ip not in DOCUMENTATION_PREFIX:
        raise BadRequest(f"{name} must lie in {DOCUMENTATION_PREFIX}: {text}")
    return interface


def change_ipv6(params):
    if not in_own_network():
        raise BadRequest(f"addresses change only in the network namespace {OWN_NETWORK_VARIABLE} names")
    device = params.text("dev")
    if device is None or not re.fullmatch(r"[a-z][a-z0-9]{0,14}", device):
        raise BadRequest(f"dev must name an interface: {device!r}")
    add, remove = ipv6_interface(params, "add"), ipv6_interface(params, "del")
    if add is None and remove is None:
        raise BadRequest("add or del is needed")
    # The new address comes before the old one goes, as when a prefix changes.
    steps = []
    if add is not None:
        steps.append(["ip", "-6", "addr", "add", str(add), "dev", device, "nodad"])
    if remove is not None:
        steps.append(["ip", "-6", "addr", "del", str(remove), "dev", device])
    for step in steps:
        done = subprocess.run(step, capture_output=True, text=True, timeout=10)
        if done.returncode != 0:
            raise BadRequest(f"'{' '.join(step)}' failed: {done.stderr.strip()}")
    return b"ok"


# ---------------------------------------------------------------- control

class Peers:
    """Every peer started through the control server, by port."""

    def __init__(self):
        self.lock = threading.Lock()
        self.by_port = {}

    def add(self, peer):
        with self.lock:
            self.by_port[peer.port] = peer
        return str(peer.port).encode()

    def find(self, params, kind):
        port = params.number("port", high=65535)
        with self.lock:
            peer = self.by_port.get(port)
        if peer is None or (kind is not None and peer.kind != kind):
            raise BadRequest(f"no {kind or 'peer'} on port {port}")
        return peer

    def stop(self, params):
        peer = self.find(params, None)
        with self.lock:
            self.by_port.pop(peer.port, None)
        peer.stop()
        return b"stopped"

    def stop_all(self, params=None):
        with self.lock:
            peers = list(self.by_port.values())
            self.by_port.clear()
        for peer in peers:
            peer.stop()
        return b"stopped %d" % len(peers)


SMTP_PARAMS = ("auth", "user", "password", "require_auth", "auth_require_tls", "tls", "cert", "client_cert", "fail",
               "port")


def routes(peers):
    return {
        "/smtp/start": (SMTP_PARAMS, lambda p: peers.add(SmtpPeer(p))),
        "/smtp/messages": (("port",), lambda p: peers.find(p, "smtp").messages_text()),
        "/smtp/log": (("port",), lambda p: peers.find(p, "smtp").log_text()),
        "/tls/ca": ((), lambda p: CERTIFICATES.authority_pem()),
        "/pop3/start": (("user", "password", "tls", "cert", "port"), lambda p: peers.add(Pop3Peer(p))),
        "/pop3/log": (("port",), lambda p: peers.find(p, "pop3").log_text()),
        "/http/start": (("tls", "cert", "port"), lambda p: peers.add(HttpPeer(p))),
        "/http/set": (("port", "status", "body", "repeat", "delay_ms", "location", "announce", "retry_after"),
                      lambda p: peers.find(p, "http").set_page(p) or b"ok"),
        "/http/hits": (("port",), lambda p: str(peers.find(p, "http").hits).encode()),
        "/http/requests": (("port",), lambda p: peers.find(p, "http").requests_text()),
        "/raw/start": (("script", "port"), lambda p: peers.add(RawPeer(p))),
        "/raw/log": (("port",), lambda p: peers.find(p, "raw").log_text()),
        "/net/ipv6": (("dev", "add", "del"), change_ipv6),
        "/stop": (("port",), peers.stop),
        "/stopall": ((), peers.stop_all),
    }


class ControlHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        path, _, query = self.path.partition("?")
        route = self.server.routes.get(path)
        try:
            if route is None:
                raise BadRequest(f"unknown request: {path}")
            known, action = route
            status, body = 200, action(Params(query, known))
        except BadRequest as e:
            status, body = 400, str(e).encode("latin-1", "replace") + b"\n"
        except Exception as e:  # a peer that cannot start is the test's problem, not ours
            status, body = 400, f"{type(e).__name__}: {e}".encode("latin-1", "replace") + b"\n"
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=iso-8859-1")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class ControlServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False


def start_control(port, peers):
    server = ControlServer((LOOPBACK, port), ControlHandler)
    server.routes = routes(peers)
    threading.Thread(target=server.serve_forever, name="control", daemon=True).start()
    return server


# ---------------------------------------------------------------- main

def run_command(command, server):
    env = dict(os.environ, CORVANE_PEERS=f"{LOOPBACK}:{server.server_address[1]}")
    try:
        # Its own process group, so a signal reaches the command's children
        # too (a shell script driving wine, say) and none are left behind.
        child = subprocess.Popen(command, env=env, process_group=0)
    except OSError as e:
        print(f"peers.py: cannot run {command[0]}: {e.strerror}", file=sys.stderr)
        return 127
    signalled = []

    def forward(signum, frame):
        signalled.append(signum)
        try:
            os.killpg(child.pid, signum)
        except ProcessLookupError:
            pass

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, forward)
    deadline = None
    while True:
        try:
            rc = child.wait(timeout=0.2)
            break
        except subprocess.TimeoutExpired:
            if signalled and deadline is None:
                deadline = time.monotonic() + 5
            if deadline is not None and time.monotonic() > deadline:
                os.killpg(child.pid, signal.SIGKILL)
    if signalled:
        try:
            os.killpg(child.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    return 128 - rc if rc < 0 else rc


def main(argv):
    parser = argparse.ArgumentParser(description="Local peer servers for Corvane's tests.")
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--run", action="store_true", help="run the command after -- beside the peers")
    mode.add_argument("--serve", action="store_true", help="serve until interrupted")
    parser.add_argument("--port", type=int, default=0, help="control port (default: a free one)")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if args.run and not command:
        parser.error("--run needs a command after --")

    peers = Peers()
    server = start_control(args.port, peers)
    try:
        if args.run:
            return run_command(command, server)
        print(server.server_address[1], flush=True)
        stop = threading.Event()
        for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(signum, lambda *_: stop.set())
        while not stop.wait(1):
            pass
        return 0
    finally:
        server.shutdown()
        server.server_close()
        peers.stop_all()
        CERTIFICATES.remove()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
