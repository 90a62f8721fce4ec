#!/usr/bin/python3
"""End-to-end tests: the real Corvane.exe under Wine, watched from outside.

Each scenario prepares the program's registry key, serves an IP-echo page from
a real HTTP peer and receives mail on a real SMTP peer on 127.0.0.1:25 (the
port the program's mail control uses), starts Corvane.exe detached and checks
what a user would see: window texts, message boxes, the popup, the tray, the
registry, the mail that arrived and whether the process still runs.

Run beside the peers:
    peers.py --run -- python3 e2e.py --exe Corvane.exe --harness harness.exe \
        --wine-prefix-script tests/wine-prefix.sh --build-dir BUILD

The Wine prefix (BUILD/e2e-prefix) is made afresh for every run and has its
own wineserver and its own Xvfb display; screenshots go to BUILD/e2e-screenshots.
"""

import argparse
import email
import email.policy
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

OPTIONS = None  # filled in by main()
STARTED = []    # every Program, so that an interrupted run still ends them
ENV = None      # the Wine environment, filled in by setUpModule()
XVFB = None

MAIN = "main"
SMTP_PORT = 25
IDC_IP, IDC_UPDATE, IDC_SETTINGS, IDC_STATUS, IDC_HIDE = 1001, 1002, 1005, 1016, 1018
IDC_SMTP_SERVER, IDC_USERNAME, IDC_PASSWORD, IDC_SENDTO, IDC_FROM = 1006, 1007, 1008, 1009, 1010
IDC_AUTHENTICATION, IDC_TIMER = 1011, 1012
IDOK = 1
SC_ABOUT = 0x0010
MENU_RESTORE, MENU_EXIT = 32771, 32772
WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC = 0x0218, 0x0012
WM_CONNECTIVITY_CHANGED = 0x8001  # WM_APP + 1, what the network-change callback posts
DAY_MS = "86400000"
DEFAULT_LINK = "https://checkip.amazonaws.com/ https://api.ipify.org/"
NOTIFY_SUBJECT = "IP Address Change"
NOTIFY_PREFIX = "New IP Address:  "
RESTART_NOTICE = "Please restart Corvane for new settings to take effect!"
PROXY_VARIABLES = ("http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY", "NO_PROXY",
                   "all_proxy", "ALL_PROXY")


def page(address):
    return "<html><body>Your address: <!--startip-->%s<!--endip--></body></html>" % address


def escape(data):
    """The harness's %XX form of bytes outside printable ASCII."""
    return "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x25 else "%%%02X" % b for b in data)


def unescape(text):
    return urllib.parse.unquote_to_bytes(text)


def wait_until(condition, timeout, what, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


# ---------------------------------------------------------------- peers

class Peers:
    """The control API of tests/peers/peers.py."""

    def __init__(self):
        address = os.environ.get("CORVANE_PEERS")
        if not address:
            raise RuntimeError("CORVANE_PEERS is not set: run under peers.py --run")
        self.base = "http://" + address

    def get(self, path, **params):
        url = self.base + path + ("?" + urllib.parse.urlencode(params) if params else "")
        try:
            with urllib.request.urlopen(url, timeout=30) as reply:
                return reply.read().decode("latin-1")
        except urllib.error.HTTPError as e:
            raise RuntimeError("%s: %s" % (path, e.read().decode("latin-1").strip()))

    def start_http(self, port=None):
        return int(self.get("/http/start", **({"port": port} if port else {})))

    def set_page(self, port, body, **options):
        self.get("/http/set", port=port, body=body, **options)

    def hits(self, port):
        return int(self.get("/http/hits", port=port))

    def start_smtp(self, **params):
        return int(self.get("/smtp/start", port=SMTP_PORT, **params))

    def stop(self, port):
        self.get("/stop", port=port)

    def stop_all(self):
        self.get("/stopall")

    def messages(self):
        """The mails the SMTP peer on port 25 accepted, parsed."""
        raw = self.get("/smtp/messages", port=SMTP_PORT).encode("latin-1")
        mails = []
        while raw:
            head, _, rest = raw.partition(b"\r\n")
            length = int(head.split()[1])
            record, raw = rest[:length], rest[length + 2:]
            fields = {"to": []}
            while not record.startswith(b"content "):
                line, _, record = record.partition(b"\n")
                key, _, value = line.decode("latin-1").partition(": ")
                value = urllib.parse.unquote(value, encoding="latin-1")
                if key == "to":
                    fields["to"].append(value)
                else:
                    fields[key] = value
            line, _, content = record.partition(b"\n")
            fields["content"] = content[:int(line.split()[1])]
            message = email.message_from_bytes(fields["content"], policy=email.policy.compat32)
            fields["subject"] = message["Subject"]
            fields["body"] = message.get_payload(decode=True).decode("latin-1")
            mails.append(fields)
        return mails


# ---------------------------------------------------------------- Wine, harness, program

def wine_env():
    env = {k: v for k, v in os.environ.items() if k not in PROXY_VARIABLES}
    env.update(WINEPREFIX=OPTIONS.prefix, WINEARCH="win32", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


def run_wine(args, timeout=60, env=None):
    """Runs a Wine command with its output in a file: Wine's background
    processes inherit the output, and a pipe would wait for them."""
    with tempfile.TemporaryFile(dir=OPTIONS.work) as out:
        rc = subprocess.call(["wine"] + args, stdout=out, stderr=subprocess.STDOUT, env=env or ENV,
                             stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        return rc, out.read()


class HarnessError(AssertionError):
    pass


def harness(*args, check=True, timeout=60):
    """One harness command; its stdout (stderr joins it) as Latin-1 text."""
    rc, out = run_wine([OPTIONS.harness] + [str(a) for a in args], timeout=timeout)
    text = out.decode("latin-1")
    if check and rc != 0:
        raise HarnessError("harness %s -> %d: %s" % (" ".join(map(str, args)), rc, text.strip()))
    return text, rc


def h(*args, timeout=60):
    return harness(*args, timeout=timeout)[0]


def h_ok(*args, timeout=60):
    """True when the harness command succeeded (wait/info: the window is there)."""
    return harness(*args, check=False, timeout=timeout)[1] == 0


class WindowInfo:
    def __init__(self, line):
        parts = line.split(" ", 9)
        self.hwnd = parts[0]
        self.visible = parts[1] == "visible"
        self.x, self.y, self.width, self.height = map(int, parts[2:6])
        self.iconic = parts[6] == "iconic"
        self.owner = parts[7]
        self.cls = parts[8]
        self.title = parts[9] if len(parts) > 9 else ""


def info(selector):
    text, rc = harness("info", selector, check=False)
    return WindowInfo(text.strip()) if rc == 0 else None


def control_text(selector, control):
    return h("text", selector, control)


def boxes():
    """(title, text) of each open message box of the program."""
    result = []
    for line in h("boxes").splitlines():
        title, _, text = line.partition("\t")
        result.append((unescape(title).decode("latin-1"), unescape(text).decode("latin-1")))
    return result


def reg_reset(**values):
    args = ["%s=%s" % (k, escape(v if isinstance(v, bytes) else v.encode("latin-1"))) for k, v in values.items()]
    h("reg-reset", *args)


def reg_delete():
    h("reg-delete")


def reg_dump():
    text, rc = harness("reg-dump", check=False)
    if rc != 0:
        return None
    values = {}
    for line in text.splitlines():
        name, _, value = line.partition("=")
        values[name] = unescape(value)
    return values


def screenshot(name):
    path = os.path.join(OPTIONS.screenshots, name + ".png")
    subprocess.call(["import", "-window", "root", path], env=ENV, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL, timeout=30)
    return path


class Program:
    """Corvane.exe started detached, its output in a file."""

    def __init__(self, name, proxy_port=None, args=()):
        env = dict(ENV)
        if proxy_port:
            # The default page's host does not exist here; the page peer
            # stands in for it as the program's web proxy.
            env["http_proxy"] = "http://127.0.0.1:%d" % proxy_port
        self.log = open(os.path.join(OPTIONS.work, name + ".log"), "wb")
        # In the driver's process group, so that whoever stops the run stops it too.
        self.process = subprocess.Popen(["wine", OPTIONS.exe, *args], stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL, env=env)
        STARTED.append(self)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout):
        try:
            self.process.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def kill(self):
        if self.running():
            self.process.kill()  # wine execs: this is the program's own process
            self.process.wait(10)
        self.log.close()


# ---------------------------------------------------------------- module set-up

def start_xvfb():
    read_fd, write_fd = os.pipe()
    process = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten",
                                "tcp"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        number = f.readline().strip()
    if not number:
        process.kill()
        raise RuntimeError("Xvfb did not start")
    return process, ":" + number


def setUpModule():
    global ENV, XVFB
    os.makedirs(OPTIONS.work, exist_ok=True)
    if os.path.isdir(OPTIONS.screenshots):
        shutil.rmtree(OPTIONS.screenshots)
    os.makedirs(OPTIONS.screenshots)
    # A display of our own: no window manager, a known size, nothing else on it.
    XVFB, display = start_xvfb()
    ENV = wine_env()
    ENV["DISPLAY"] = display
    # A fresh prefix per run, so nothing of an earlier run (or of the user's
    # own settings) reaches the program.
    subprocess.call(["wineserver", "-k"], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.call(["wineserver", "-w"], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(OPTIONS.prefix, ignore_errors=True)
    try:
        os.remove(OPTIONS.prefix + ".lock")
    except FileNotFoundError:
        pass
    with open(os.path.join(OPTIONS.work, "prefix.log"), "wb") as log:
        if subprocess.call(["bash", OPTIONS.wine_prefix_script], env=ENV, stdout=log, stderr=log) != 0:
            raise RuntimeError("cannot create the Wine prefix " + OPTIONS.prefix)
    # Starts the prefix's wineserver and background processes with their
    # output away from any pipe.
    run_wine(["wineboot"], timeout=120)
    # The built-in pages are https: the page peer ends their tunnels with
    # certificates from the peers' test authority, which this prefix trusts.
    authority = os.path.join(OPTIONS.work, "test-authority.pem")
    with open(authority, "w") as f:
        f.write(Peers().get("/tls/ca"))
    h("trust-ca", "Z:" + authority.replace("/", "\\"))


def tearDownModule():
    global XVFB
    for program in STARTED:
        program.kill()
    if ENV:
        subprocess.call(["wineserver", "-k"], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.call(["wineserver", "-w"], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                        timeout=60)
    if XVFB:
        XVFB.terminate()
        XVFB.wait(10)
        XVFB = None


# ---------------------------------------------------------------- scenarios

class Scenario(unittest.TestCase):
    """Each test: a page peer, an SMTP peer on port 25, a program it started."""

    def setUp(self):
        self.peers = Peers()
        self.peers.stop_all()
        self.http = self.peers.start_http()
        self.programs = []
        self.addCleanup(self.cleanup)

    def cleanup(self):
        for program in self.programs:
            program.kill()
        self.peers.stop_all()
        # Nothing of the program may linger into the next scenario.
        wait_until(lambda: not h_ok("pid"), 15, "the program's process to end")

    def start_smtp(self, **params):
        try:
            return self.peers.start_smtp(**params)
        except RuntimeError as e:
            raise AssertionError("the SMTP peer must listen on 127.0.0.1:25, the program's mail port "
                                 "(run as root): %s" % e)

    def start_program(self, proxy_port=None, args=()):
        program = Program("%s-%d" % (self.id().rsplit(".", 1)[-1], len(self.programs)), proxy_port, args)
        self.programs.append(program)
        return program

    def complete_settings(self, timer="900000", **overrides):
        values = dict(Version="1.0", SMTPServer="127.0.0.1", SMTPUsername="null", SMTPPassword="null",
                      SMTPAuth="0", SMTPTo="owner@example.test", SMTPFrom="corvane@example.test",
                      Link="http://127.0.0.1:%d/ip.php" % self.http, Timer=timer)
        values.update(overrides)
        reg_reset(**values)

    def wait_main(self, timeout=30):
        if not h_ok("wait", MAIN, int(timeout * 1000), timeout=timeout + 30):
            self.fail("the main window did not show; windows: %s; boxes: %s" % (h("list"), boxes()))
        return info(MAIN)

    def wait_mails(self, count, timeout=20):
        return wait_until(lambda: len(m := self.peers.messages()) >= count and m, timeout,
                          "%d mail(s)" % count)

    def wait_box(self, timeout=15):
        text, rc = harness("wait-box", int(timeout * 1000), check=False, timeout=timeout + 30)
        self.assertEqual(rc, 0, "no message box appeared")
        found = boxes()
        self.assertTrue(found)
        return found

    def assert_notice(self, mail, address):
        self.assertEqual(mail["subject"], NOTIFY_SUBJECT)
        self.assertEqual(mail["body"].rstrip("\r\n"), NOTIFY_PREFIX + address)
        self.assertEqual(mail["from"], "corvane@example.test")
        self.assertEqual(mail["to"], ["owner@example.test"])

    def start_with_complete_settings(self, address, timer="900000"):
        self.peers.set_page(self.http, page(address))
        self.start_smtp()
        self.complete_settings(timer=timer)
        program = self.start_program()
        self.wait_main()
        mails = self.wait_mails(1)
        self.assert_notice(mails[0], address)
        return program


class FirstRun(Scenario):
    def test_empty_registry_asks_for_mail_settings_once_the_address_is_found(self):
        reg_delete()
        self.peers.set_page(self.http, page("192.0.2.44"))
        self.start_smtp(auth="login", user="watcher", password="s3cret!pw", require_auth="1")
        self.start_program(proxy_port=self.http)

        self.assertTrue(h_ok("wait", "settings", 30000, timeout=60),
                        "no settings dialog; windows: %s" % h("list"))
        # The window shows while the page is read; the address waits for the dialog.
        self.assertEqual(control_text(MAIN, IDC_IP), "", "the address showed before the settings were answered")
        self.assertGreaterEqual(self.peers.hits(self.http), 1, "the default page was never asked for")

        stored = reg_dump()
        self.assertEqual(stored.get("Version"), b"1.0")
        self.assertEqual(stored.get("Link"), DEFAULT_LINK.encode())
        self.assertEqual(stored.get("SMTPAuth"), b"2")
        self.assertEqual(stored.get("Timer"), b"900000")
        for name in ("SMTPServer", "SMTPUsername", "SMTPPassword", "SMTPTo", "SMTPFrom"):
            self.assertEqual(stored.get(name), b"null", name)
        # "null" means unset and is never shown as text.
        self.assertEqual(control_text("settings", IDC_SMTP_SERVER), "")

        h("set-text", "settings", IDC_SMTP_SERVER, "127.0.0.1")
        self.assertEqual(h("select", "settings", IDC_AUTHENTICATION, 2).strip(), "Login")
        h("set-text", "settings", IDC_USERNAME, "watcher")
        h("set-text", "settings", IDC_PASSWORD, "s3cret!pw")
        h("set-text", "settings", IDC_SENDTO, "owner@example.test")
        h("set-text", "settings", IDC_FROM, "corvane@example.test")
        self.assertEqual(h("select", "settings", IDC_TIMER, 0).strip(), "5 Minutes")
        screenshot("settings-dialog")
        h("click", "settings", IDOK)

        found = self.wait_box()
        self.assertEqual(found, [("Corvane", RESTART_NOTICE)])
        h("answer-box")
        self.wait_main()
        settings = info("settings")
        self.assertTrue(settings is None or not settings.visible, "the settings dialog stayed")
        self.assertEqual(control_text(MAIN, IDC_IP), "192.0.2.44")
        self.assertTrue(control_text(MAIN, IDC_STATUS).startswith("Last Updated On"))

        stored = reg_dump()
        self.assertEqual(stored["SMTPServer"], b"127.0.0.1")
        self.assertEqual(stored["SMTPAuth"], b"2")
        self.assertEqual(stored["SMTPUsername"], b"watcher")
        # The password is kept in its protected form beside this marker.
        self.assertEqual(stored["SMTPPassword"], b"null")
        self.assertEqual(stored["SMTPTo"], b"owner@example.test")
        self.assertEqual(stored["SMTPFrom"], b"corvane@example.test")
        self.assertEqual(stored["Timer"], b"300000")
        # The address that made the program ask is mailed once the settings are saved.
        mail = self.wait_mails(1)[0]
        self.assertEqual((mail["auth_user"], mail["auth_password"]), ("watcher", "s3cret!pw"))
        self.assert_notice(mail, "192.0.2.44")

        # The next start mails with what was saved, logging in as typed.
        h("command", MAIN, MENU_EXIT)
        self.assertTrue(self.programs[0].wait_exit(15), "Exit did not end the program")
        self.start_program(proxy_port=self.http)
        self.wait_main()
        mail = self.wait_mails(2)[1]
        self.assertEqual(mail["auth_mech"], "LOGIN")
        self.assertEqual((mail["auth_user"], mail["auth_password"]), ("watcher", "s3cret!pw"))
        self.assert_notice(mail, "192.0.2.44")


class Checking(Scenario):
    def test_start_mails_once_and_slides_the_popup_out(self):
        address = "203.0.113.7"
        self.peers.set_page(self.http, page(address))
        self.start_smtp()
        self.complete_settings()
        self.start_program()
        self.wait_main()

        self.assertTrue(h_ok("wait", "popup", 20000, timeout=60), "the popup never showed")
        screenshot("popup-sliding")
        samples = [WindowInfo(line.split(" ", 1)[1]) for line in h("track", "popup", 3500, 40).splitlines()
                   if not line.endswith(" none")]
        shown = [s for s in samples if s.visible]
        self.assertTrue(shown, "the popup was not seen")
        _, _, right, bottom = map(int, h("workarea").split())
        main = info(MAIN)
        self.assertEqual(shown[0].owner, main.hwnd)
        # It rests against the bottom-right corner of the work area, and got
        # there by moving: more than one height was seen.
        resting = [s for s in shown if s.x + s.width == right and s.y + s.height == bottom]
        self.assertTrue(resting, "never at the corner: %s" % [(s.x, s.y) for s in shown])
        self.assertEqual((resting[0].width, resting[0].height), (148, 120))
        self.assertGreater(len({s.y for s in shown}), 2, "the popup did not slide")
        self.assertTrue(all(s.x + s.width == right and s.y + s.height >= bottom for s in shown),
                        "the popup left its corner: %s" % [(s.x, s.y) for s in shown])
        wait_until(lambda: not info("popup").visible, 10, "the popup to go away")

        mails = self.wait_mails(1)
        self.assert_notice(mails[0], address)
        self.assertEqual(control_text(MAIN, IDC_IP), address)
        status = control_text(MAIN, IDC_STATUS)
        self.assertRegex(status, r"^Last Updated On\r\n\r\n\d\d/\d\d/\d{4} at \d\d:\d\d:\d\d [AP]M\r\n\r\n"
                                 r"Current IP:$")
        screenshot("main-window")
        time.sleep(2)
        self.assertEqual(len(self.peers.messages()), 1, "more than one mail for one address")
        self.assertEqual(boxes(), [])

    def test_update_mails_a_new_address_and_only_restamps_an_unchanged_one(self):
        self.start_with_complete_settings("203.0.113.7")

        self.peers.set_page(self.http, page("198.51.100.23"))
        h("click", MAIN, IDC_UPDATE)
        mails = self.wait_mails(2)
        self.assert_notice(mails[1], "198.51.100.23")
        wait_until(lambda: control_text(MAIN, IDC_IP) == "198.51.100.23", 10, "the new address shown")

        stamp = control_text(MAIN, IDC_STATUS)
        hits = self.peers.hits(self.http)
        time.sleep(1.2)  # the stamp counts seconds
        h("click", MAIN, IDC_UPDATE)
        wait_until(lambda: self.peers.hits(self.http) > hits, 10, "the page asked for again")
        wait_until(lambda: control_text(MAIN, IDC_STATUS) != stamp, 10, "a new stamp")
        time.sleep(1.5)
        self.assertEqual(len(self.peers.messages()), 2, "an unchanged address was mailed")
        self.assertEqual(control_text(MAIN, IDC_IP), "198.51.100.23")
        self.assertEqual(boxes(), [])


class Failures(Scenario):
    def test_refused_or_missing_mail_server_keeps_the_old_address_and_the_next_check_sends(self):
        program = self.start_with_complete_settings("203.0.113.7", timer="3000")

        # Refused at RCPT.
        self.peers.stop(SMTP_PORT)
        self.start_smtp(fail="rcpt:550")
        self.peers.set_page(self.http, page("198.51.100.1"))
        found = self.wait_box(timeout=20)
        self.assertEqual(len(found), 1)
        self.assertEqual(found[0][0], "Corvane")
        self.assertTrue(found[0][1].strip())
        self.assertEqual(control_text(MAIN, IDC_IP), "203.0.113.7")
        self.assertTrue(program.running())
        # Nobody answers: the ticks go on failing behind the box, and bring no second one.
        hits = self.peers.hits(self.http)
        wait_until(lambda: self.peers.hits(self.http) >= hits + 2, 20, "ticks to go on behind the box")
        self.assertEqual(len(boxes()), 1, "a second box")
        # The server recovers while the box is still up: the next tick sends
        # and shows the popup, with the box left open.
        self.peers.stop(SMTP_PORT)
        self.start_smtp()
        mails = self.wait_mails(1, timeout=20)
        self.assert_notice(mails[0], "198.51.100.1")
        self.assertTrue(h_ok("wait", "popup", 10000, timeout=40), "no popup behind the box")
        wait_until(lambda: control_text(MAIN, IDC_IP) == "198.51.100.1", 10, "the new address shown")
        self.assertEqual(len(boxes()), 1, "the box went, or another came")
        h("answer-box")

        # No server at all.
        self.peers.stop(SMTP_PORT)
        self.peers.set_page(self.http, page("198.51.100.2"))
        found = self.wait_box(timeout=30)
        self.assertEqual([t for t, _ in found], ["Corvane"])
        self.assertEqual(control_text(MAIN, IDC_IP), "198.51.100.1")
        self.start_smtp()
        h("answer-box")
        mails = self.wait_mails(1, timeout=20)
        self.assert_notice(mails[0], "198.51.100.2")
        wait_until(lambda: control_text(MAIN, IDC_IP) == "198.51.100.2", 10, "the new address shown")
        time.sleep(4)  # a tick or more with everything healthy
        self.assertEqual(boxes(), [])
        self.assertEqual(len(self.peers.messages()), 1)

    def test_page_server_down_reports_changes_nothing_and_ticking_goes_on_behind_the_box(self):
        program = self.start_with_complete_settings("203.0.113.7", timer="3000")
        self.peers.stop(self.http)
        address = control_text(MAIN, IDC_IP)
        stamp = control_text(MAIN, IDC_STATUS)

        found = self.wait_box(timeout=20)
        self.assertEqual([t for t, _ in found], ["Corvane"])
        self.assertEqual(control_text(MAIN, IDC_IP), address)
        self.assertEqual(control_text(MAIN, IDC_STATUS), stamp)
        self.assertTrue(program.running())

        # Back on the same address while the box is up: the ticks check behind it.
        self.assertEqual(self.peers.start_http(port=self.http), self.http)
        self.peers.set_page(self.http, page("203.0.113.7"))
        wait_until(lambda: self.peers.hits(self.http) >= 1, 15, "a tick to check behind the open box")
        wait_until(lambda: control_text(MAIN, IDC_STATUS) != stamp, 10, "a new stamp")
        self.assertEqual(len(boxes()), 1)

        h("answer-box")
        hits = self.peers.hits(self.http)
        wait_until(lambda: self.peers.hits(self.http) > hits, 15, "the tick after")
        self.assertEqual(control_text(MAIN, IDC_IP), "203.0.113.7")
        self.assertEqual(len(self.peers.messages()), 1, "the unchanged address was mailed again")
        self.assertEqual(boxes(), [])
        self.assertTrue(program.running())


class Windows(Scenario):
    def test_hide_minimise_restore_about_and_exit_from_the_tray(self):
        program = self.start_with_complete_settings("203.0.113.7")

        h("click", MAIN, IDC_HIDE)
        wait_until(lambda: not info(MAIN).visible, 10, "Hide to hide the main window")
        self.assertIsNotNone(info("tray"), "hidden without a tray icon")
        h("tray", "dblclick")
        wait_until(lambda: info(MAIN).visible, 10, "the tray double-click to restore")
        wait_until(lambda: info("tray") is None, 10, "the tray icon to go")

        h("syscommand", MAIN, "minimize")
        wait_until(lambda: not info(MAIN).visible, 10, "minimising to hide the window")
        self.assertIsNotNone(info("tray"), "minimised without a tray icon")
        h("tray", "dblclick")
        restored = wait_until(lambda: (i := info(MAIN)).visible and not i.iconic and i, 10,
                              "the window restored from minimised")
        self.assertGreater(restored.width, 100)
        self.assertIsNone(info("tray"))

        h("syscommand", MAIN, SC_ABOUT)
        self.assertTrue(h_ok("wait", "about", 10000), "no About box")
        texts = h("texts", "about")
        self.assertIn("Corvane Version 2.0", texts)
        screenshot("about-box")
        h("click", "about", IDOK)
        self.assertTrue(h_ok("wait-gone", "about", 5000))
        self.assertTrue(info(MAIN).visible)

        # The tray menu: Restore, then Exit.
        h("click", MAIN, IDC_HIDE)
        wait_until(lambda: info("tray") is not None, 10, "the tray icon")
        h("tray", "rclick")
        self.assertTrue(h_ok("wait", "menu", 10000), "no tray menu")
        h("menu-choose", MENU_RESTORE)
        wait_until(lambda: info(MAIN).visible, 10, "Restore from the tray menu")
        h("click", MAIN, IDC_HIDE)
        wait_until(lambda: info("tray") is not None, 10, "the tray icon")
        h("tray", "rclick")
        self.assertTrue(h_ok("wait", "menu", 10000), "no tray menu")
        h("menu-choose", MENU_EXIT)
        self.assertTrue(program.wait_exit(15), "Exit did not end the program")
        self.assertFalse(h_ok("pid"))
        self.assertEqual(boxes(), [])

    def test_exit_during_a_slow_check_ends_the_process_within_two_seconds(self):
        program = self.start_with_complete_settings("203.0.113.7")
        self.peers.set_page(self.http, page("198.51.100.23"), delay_ms=10000)
        hits = self.peers.hits(self.http)
        h("click", MAIN, IDC_UPDATE)
        wait_until(lambda: self.peers.hits(self.http) > hits, 10, "the slow page asked for")
        # From before the harness starts: its own start-up counts against the bound.
        sent = time.monotonic()
        h("command", MAIN, MENU_EXIT)
        ended = program.wait_exit(10)
        took = time.monotonic() - sent
        self.assertTrue(ended, "Exit did not end the program")
        self.assertLess(took, 2.0, "Exit waited for the check (%.1f s)" % took)
        self.assertFalse(h_ok("pid"), "a process of the program is left running")
        self.assertEqual(len(self.peers.messages()), 1, "the slow check went on after Exit")


class Unattended(Scenario):
    def test_a_second_start_hands_over_to_the_first_and_exits_without_a_check(self):
        first = self.start_with_complete_settings("203.0.113.7")
        h("click", MAIN, IDC_HIDE)
        wait_until(lambda: info("tray") is not None and not info(MAIN).visible, 10, "hidden in the tray")
        hits = self.peers.hits(self.http)

        second = self.start_program()
        self.assertTrue(second.wait_exit(30), "the second start kept running")
        wait_until(lambda: info(MAIN).visible, 10, "the first window shown again")
        wait_until(lambda: info("tray") is None, 10, "its tray icon to go")
        self.assertTrue(first.running())
        self.assertEqual(self.peers.hits(self.http), hits, "the second start checked the page")
        time.sleep(1)
        self.assertEqual(len(self.peers.messages()), 1, "the second start mailed")

    def test_tray_switch_starts_hidden_checks_and_shows_the_popup(self):
        self.peers.set_page(self.http, page("203.0.113.7"))
        self.start_smtp()
        self.complete_settings()
        self.start_program(args=["/tray"])
        self.assert_notice(self.wait_mails(1, timeout=30)[0], "203.0.113.7")
        self.assertTrue(h_ok("wait", "popup", 10000, timeout=40), "no popup while hidden")
        self.assertIsNotNone(info("tray"), "no tray icon")
        self.assertFalse(info(MAIN).visible, "the window showed")
        screenshot("tray-start")
        h("tray", "dblclick")
        wait_until(lambda: info(MAIN).visible, 10, "the double-click on the icon to show the window")
        self.assertEqual(control_text(MAIN, IDC_IP), "203.0.113.7")

    def test_a_tray_start_with_an_unreadable_value_checks_and_ticks_while_its_notice_is_open(self):
        # The protected password stored as text where it must be bytes: the
        # notice says so, and nobody answers it here.
        self.peers.set_page(self.http, page("203.0.113.7"))
        self.start_smtp()
        self.complete_settings(timer="3000", SMTPPasswordProtected="not a protected blob")
        self.start_program(args=["/tray"])
        found = self.wait_box(timeout=30)
        self.assertEqual(len(found), 1)
        self.assertIn("the mail password", found[0][1])
        self.assert_notice(self.wait_mails(1, timeout=30)[0], "203.0.113.7")
        self.assertGreaterEqual(self.peers.hits(self.http), 1)
        # The timer goes on behind the open notice: a new address is mailed.
        self.peers.set_page(self.http, page("198.51.100.9"))
        self.assert_notice(self.wait_mails(2, timeout=30)[1], "198.51.100.9")
        self.assertEqual([text for _, text in boxes()], [found[0][1]], "the notice went, or another came")
        self.assertFalse(info(MAIN).visible, "the window showed")
        h("answer-box")

    def test_resume_from_sleep_checks_within_half_a_minute_and_a_foreign_network_notice_does_not(self):
        self.start_with_complete_settings("203.0.113.7", timer=DAY_MS)
        self.peers.set_page(self.http, page("198.51.100.5"))
        h("post", MAIN, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0)
        mails = self.wait_mails(2, timeout=30)
        self.assert_notice(mails[1], "198.51.100.5")

        # The network-change message from another program is no notice from
        # the system: a burst of them starts no check (the system's own
        # notices never reach a program under Wine 8).
        self.peers.set_page(self.http, page("198.51.100.6"))
        hits = self.peers.hits(self.http)
        for _ in range(3):
            h("post", MAIN, WM_CONNECTIVITY_CHANGED, 0, 0)
        time.sleep(8)  # past the five seconds a real notice waits before its check
        self.assertEqual(self.peers.hits(self.http), hits, "a foreign message started a check")
        self.assertEqual(len(self.peers.messages()), 2)

    def test_a_page_that_fails_at_start_is_checked_again_within_two_minutes(self):
        self.peers.stop(self.http)
        self.start_smtp()
        self.complete_settings(timer=DAY_MS)
        self.start_program()
        self.wait_box(timeout=30)  # left open: the watch goes on behind it
        self.assertEqual(self.peers.start_http(port=self.http), self.http)
        self.peers.set_page(self.http, page("203.0.113.7"))
        self.assert_notice(self.wait_mails(1, timeout=120)[0], "203.0.113.7")
        self.assertEqual(len(boxes()), 1)


def interrupt(signum, frame):
    raise KeyboardInterrupt("signal %d" % signum)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--harness", required=True)
    parser.add_argument("--wine-prefix-script", required=True)
    parser.add_argument("--build-dir", required=True)
    OPTIONS, rest = parser.parse_known_args()
    build = os.path.abspath(OPTIONS.build_dir)
    OPTIONS.prefix = os.path.join(build, "e2e-prefix")
    OPTIONS.screenshots = os.path.join(build, "e2e-screenshots")
    OPTIONS.work = os.path.join(build, "e2e-work")
    # A stopped run (ctest's timeout, Ctrl-C) still ends the program, the
    # prefix's wineserver and the display.
    signal.signal(signal.SIGTERM, interrupt)
    try:
        result = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False).result
    finally:
        tearDownModule()
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
