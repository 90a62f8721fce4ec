#!/usr/bin/env python3
"""Tests of the release files, run by ctest in the Windows tree.

  test_release.py reproducible --work DIR -- <release command>
  test_release.py installer --work DIR --wait-window EXE --prefix-script SH -- <release command>

The release command is make_release.py with everything but --stage and --out;
each test makes its own release files under DIR.
"""
import argparse
import hashlib
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

from make_release import version_texts

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvane"
SETTINGS_KEY = r"HKCU\Software\Orlimar\Corvane"

failures: list[str] = []


def check(condition: bool, what: str) -> None:
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        failures.append(what)


def option(cmd: list[str], name: str) -> str:
    return cmd[cmd.index(name) + 1]


def with_option(cmd: list[str], name: str, value: str) -> list[str]:
    cmd = list(cmd)
    cmd[cmd.index(name) + 1] = value
    return cmd


def make_release(cmd: list[str], work: Path, env: dict | None = None) -> Path:
    out = work / "dist"
    subprocess.run(cmd + ["--stage", str(work / "stage"), "--out", str(out)], check=True,
                   env=env, stdout=subprocess.DEVNULL)
    return out


def release_files(out: Path) -> dict[str, bytes]:
    return {p.name: p.read_bytes() for p in sorted(out.iterdir())}


def pe_timestamp(exe: bytes) -> int:
    header = struct.unpack_from("<I", exe, 0x3C)[0]
    return struct.unpack_from("<I", exe, header + 8)[0]


# ---------------------------------------------------------------- reproducible

def test_reproducible(args) -> None:
    cmd = args.release_cmd
    if args.work.exists():
        shutil.rmtree(args.work)
    env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}

    first = release_files(make_release(cmd, args.work / "a", env))
    # Another day's copy of the same exe, packed in another folder a little
    # later: none of that may reach the bytes.
    args.work.joinpath("b").mkdir(parents=True)
    exe_copy = args.work / "b" / "Corvane.exe"
    shutil.copyfile(option(cmd, "--exe"), exe_copy)
    os.utime(exe_copy, (1e9, 1e9))
    time.sleep(1.1)
    second = release_files(make_release(with_option(cmd, "--exe", str(exe_copy)), args.work / "b", env))

    check(sorted(first) == sorted(second) and len(first) == 3, f"the same three files both times: {sorted(first)}")
    for name in first:
        check(first[name] == second.get(name), f"{name} is byte-for-byte the same")

    sums = first.get("SHA256SUMS", b"").decode().splitlines()
    listed = dict(reversed(line.split("  ", 1)) for line in sums)
    check(sorted(listed) == sorted(n for n in first if n != "SHA256SUMS"), "SHA256SUMS lists the zip and the setup")
    for name, digest in listed.items():
        check(hashlib.sha256(first[name]).hexdigest() == digest, f"SHA256SUMS holds the hash of {name}")

    # The release date set from outside is the one every stamp carries.
    epoch = 1234567890
    dated = make_release(cmd, args.work / "c", dict(env, SOURCE_DATE_EPOCH=str(epoch)))
    zip_path = next(dated.glob("*-portable.zip"))
    with zipfile.ZipFile(zip_path) as archive:
        names = archive.namelist()
        check(names == sorted(names), f"zip entries in name order: {names}")
        stamps = {info.date_time for info in archive.infolist()}
        check(stamps == {time.gmtime(epoch)[:6]}, f"every zip entry dated SOURCE_DATE_EPOCH: {stamps}")
        exe = archive.read("Corvane.exe")
    check(pe_timestamp(exe) == epoch, "the packed exe's header carries SOURCE_DATE_EPOCH")
    check(exe == (args.work / "c" / "stage" / "Corvane.exe").read_bytes(), "the zip holds the stripped exe")
    check(len(exe) < Path(option(cmd, "--exe")).stat().st_size, "the packed exe is stripped")
    source = Path(option(cmd, "--source"))
    for rel in ("README.md", "echo/ip.php", "echo/echo_server.py"):
        check((rel in names) == (source / rel).is_file(), f"{rel} packed exactly when the sources have it")
    check(release_files(dated)[zip_path.name] != first[zip_path.name], "another release date gives another zip")


# ------------------------------------------------------------------- installer

class Wine:
    """Runs programs in one prefix; output goes through files, never pipes,
    since Wine's background processes would hold a pipe open."""

    def __init__(self, prefix: Path):
        self.prefix = prefix
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win32", WINEDEBUG="-all")

    def run(self, *argv: str, timeout: float = 60) -> tuple[int, str]:
        with tempfile.TemporaryFile() as out:
            rc = subprocess.run(["wine", *argv], env=self.env, stdout=out, stderr=subprocess.STDOUT,
                                timeout=timeout).returncode
            out.seek(0)
            return rc, out.read().decode("latin-1")

    def start(self, *argv: str) -> None:
        subprocess.Popen(["wine", *argv], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_idle(self) -> None:
        """Waits until every program in the prefix has ended."""
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)

    def kill(self) -> None:
        subprocess.run(["wineserver", "-k"], env=self.env)
        self.wait_idle()

    def reg_values(self, key: str) -> dict[str, str] | None:
        rc, text = self.run("reg", "query", key)
        if rc != 0:
            return None
        values = {}
        for line in text.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) == 3 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2]
            elif len(parts) == 2 and parts[1].startswith("REG_"):
                values[parts[0]] = ""
        return values

    def unix_path(self, windows_path: str) -> Path:
        drive, rest = windows_path.split(":", 1)
        assert drive.lower() == "c", windows_path
        return self.prefix / "drive_c" / rest.strip("\\").replace("\\", "/")


def closed_port() -> socket.socket:
    """A port of our own that nothing listens on: a fetch from it fails at once."""
    holder = socket.socket()
    holder.bind(("127.0.0.1", 0))
    return holder


def shortcuts(user: Path) -> dict[str, Path]:
    programs = user / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
    startup = next((d for d in programs.iterdir() if d.name.lower() == "startup"), programs / "Startup") \
        if programs.is_dir() else programs / "Startup"
    return {"Start menu": programs / "Corvane.lnk", "log-on": startup / "Corvane.lnk"}


def test_installer(args) -> None:
    version = option(args.release_cmd, "--version")
    title = version_texts(Path(option(args.release_cmd, "--source")))["CORVANE_WINDOW_TITLE"]
    wine = Wine(args.work / "prefix")
    if args.work.exists():
        wine.kill()  # whatever an interrupted run left running in it
        shutil.rmtree(args.work)
    args.work.mkdir(parents=True)
    dist = make_release(args.release_cmd, args.work)
    setup = next(dist.glob("*-setup.exe"))
    staged_exe = (args.work / "stage" / "Corvane.exe").read_bytes()

    subprocess.run(["bash", str(args.prefix_script)], env=wine.env, check=True, timeout=180)
    user = next(d for d in (wine.prefix / "drive_c/users").iterdir() if d.name != "Public")
    install_dir = user / "AppData/Local/Programs/Corvane"
    links = shortcuts(user)

    port = closed_port()
    link = f"http://127.0.0.1:{port.getsockname()[1]}/"
    try:
        for name, value in (("Version", "1.0"), ("Link", link), ("Timer", "600000")):
            wine.run("reg", "add", SETTINGS_KEY, "/v", name, "/d", value, "/f")

        # -- a silent install puts everything in place
        rc, text = wine.run(str(setup), "/S")
        wine.wait_idle()
        check(rc == 0, f"silent install exits with 0 ({rc}) {text.strip()}")
        check((install_dir / "Corvane.exe").is_file()
              and (install_dir / "Corvane.exe").read_bytes() == staged_exe,
              f"the stripped exe installed in {install_dir}")
        check((install_dir / "uninstall.exe").is_file(), "uninstaller installed")
        for what, path in links.items():
            check(path.is_file(), f"{what} shortcut at {path}")

        entry = wine.reg_values(UNINSTALL_KEY) or {}
        expected = {"DisplayName": "Corvane", "DisplayVersion": version, "Publisher": "Orlimar",
                    "NoModify": "0x1", "NoRepair": "0x1"}
        for name, value in expected.items():
            check(entry.get(name) == value, f"uninstall entry {name} = {value!r} ({entry.get(name)!r})")
        uninstall_cmd = entry.get("UninstallString", "")
        quiet_cmd = entry.get("QuietUninstallString", "")
        uninstaller = uninstall_cmd.strip('"')
        check(uninstaller != "" and wine.unix_path(uninstaller) == install_dir / "uninstall.exe",
              f"UninstallString names the installed uninstaller: {uninstall_cmd!r}")
        check(quiet_cmd == f"{uninstall_cmd} /S", f"QuietUninstallString is it with /S: {quiet_cmd!r}")

        logon = links["log-on"].read_bytes() if links["log-on"].is_file() else b""
        check("/tray".encode("utf-16-le") in logon or b"/tray" in logon, "the log-on shortcut starts in the tray")

        # -- the Start menu shortcut starts the installed program up to its main window
        def start_installed(what: str) -> None:
            wine.start("start", "/unix", str(links["Start menu"]))
            rc, shown = wine.run(str(args.wait_window), title, "30000")
            check(rc == 0, f"{what}: a window titled {title!r} appears after starting the shortcut ({shown.strip()})")
            if rc == 0:
                check(wine.unix_path(shown.strip()) == install_dir / "Corvane.exe",
                      f"{what}: the window belongs to the installed exe ({shown.strip()})")

        def closed(what: str) -> None:
            rc, _ = wine.run(str(args.wait_window), title, "1000")
            check(rc != 0, f"{what} closed the running program first")
            wine.wait_idle()

        start_installed("first start")

        # -- installing again over the running program closes it first
        rc, text = wine.run(str(setup), "/S", timeout=120)
        check(rc == 0, f"silent install over the running program exits with 0 ({rc}) {text.strip()}")
        closed("the install")
        check((install_dir / "Corvane.exe").read_bytes() == staged_exe, "the exe is in place after the update")

        # -- the silent uninstall, run in place while the program runs, closes
        # it and keeps the settings
        start_installed("second start")
        rc, text = wine.run(uninstaller, "/S", f"_?={uninstaller.rsplit(chr(92), 1)[0]}", timeout=120)
        closed("the uninstall")
        check(rc == 0, f"silent uninstall exits with 0 ({rc}) {text.strip()}")
        left = sorted(p.name for p in install_dir.iterdir()) if install_dir.is_dir() else []
        # Run in place, the uninstaller cannot remove itself; that is ours to do.
        check(left == ["uninstall.exe"], f"only the running uninstaller is left: {left}")
        for what, path in links.items():
            check(not path.exists(), f"{what} shortcut removed")
        check(wine.reg_values(UNINSTALL_KEY) is None, "uninstall entry removed")
        kept = wine.reg_values(SETTINGS_KEY) or {}
        check(kept.get("Link") == link, f"settings kept by default: {kept}")
        shutil.rmtree(install_dir, ignore_errors=True)

        # -- installed again, the registered quiet uninstall with /REMOVESETTINGS
        # removes everything, the settings too
        rc, _ = wine.run(str(setup), "/S")
        wine.wait_idle()
        check(rc == 0 and (install_dir / "Corvane.exe").is_file(), "installs again over kept settings")
        quiet = (wine.reg_values(UNINSTALL_KEY) or {}).get("QuietUninstallString", "")
        path, _, switches = quiet.partition('" ')
        wine.run(path.strip('"'), *switches.split(), "/REMOVESETTINGS")
        wine.wait_idle()  # the uninstaller copies itself away and runs from there
        check(not install_dir.exists(), "install folder removed, uninstaller and all")
        for what, p in links.items():
            check(not p.exists(), f"{what} shortcut removed again")
        check(wine.reg_values(UNINSTALL_KEY) is None, "uninstall entry removed again")
        check(wine.reg_values(SETTINGS_KEY) is None, "settings removed with /REMOVESETTINGS")
        check(wine.reg_values(r"HKCU\Software\Orlimar") is None, "no empty Orlimar key left behind")
    finally:
        port.close()
        wine.kill()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("test", choices=["reproducible", "installer"])
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--wait-window", type=Path)
    parser.add_argument("--prefix-script", type=Path)
    argv = sys.argv[1:]
    split = argv.index("--") if "--" in argv else len(argv)
    args = parser.parse_args(argv[:split])
    args.release_cmd = argv[split + 1:]
    if not args.release_cmd:
        parser.error("the release command goes after --")
    started = time.monotonic()
    {"reproducible": test_reproducible, "installer": test_installer}[args.test](args)
    print(f"{len(failures)} failed; {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
