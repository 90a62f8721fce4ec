#!/usr/bin/env python3
"""Makes the release files: the setup program, the portable zip and SHA256SUMS.

The same sources give the same bytes: every time stamp that ends up in a file
(the exe's header, the zip entries, the files packed into the setup) is the
release date, SOURCE_DATE_EPOCH, and the zip lists its entries in name order.
Without SOURCE_DATE_EPOCH the release date is that of the last commit.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

PRODUCT = "Corvane"
# Used when there is neither SOURCE_DATE_EPOCH nor a git history: 2026-01-01.
FALLBACK_EPOCH = 1767225600
# The zip format cannot hold a date before 1980.
ZIP_EPOCH_MIN = 315532800

PORTABLE_NOTE = """\
Corvane, portable

Run Corvane.exe from any folder; it needs no installation and writes nothing
beside itself. Its settings live in the registry of the current user, under
HKEY_CURRENT_USER\\Software\\Orlimar\\Corvane. To remove them after deleting
the program, run:

    reg delete HKCU\\Software\\Orlimar\\Corvane /f

To start it when you log on, put a shortcut to Corvane.exe into the folder
that Win+R, shell:startup opens.
"""
# Files taken from the sources when they exist, as (source path, name in zip).
OPTIONAL_FILES = [
    ("README.md", "README.md"),
    ("echo/ip.php", "echo/ip.php"),
    ("echo/echo_server.py", "echo/echo_server.py"),
]


def version_texts(source: Path) -> dict[str, str]:
    """The quoted version texts of res/Version.h, by name (CORVANE_WINDOW_TITLE...)."""
    header = (source / "res" / "Version.h").read_text()
    return dict(re.findall(r'^#define\s+(CORVANE_\w+)\s+"([^"]*)"\s*$', header, re.MULTILINE))


def release_epoch(source: Path) -> int:
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", str(source), "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout.strip()
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return FALLBACK_EPOCH


def stage_files(args, epoch: int) -> list[tuple[Path, str]]:
    """Fills the stage folder; returns (file, name in zip) pairs."""
    if args.stage.exists():
        shutil.rmtree(args.stage)
    args.stage.mkdir(parents=True)

    exe = args.stage / f"{PRODUCT}.exe"
    # strip writes a fresh time into the PE header unless SOURCE_DATE_EPOCH is set.
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    subprocess.run([args.strip, "-o", str(exe), str(args.exe)], env=env, check=True)
    files = [(exe, exe.name)]

    note = args.stage / "PORTABLE.txt"
    # Windows users open it in Notepad.
    note.write_bytes(PORTABLE_NOTE.replace("\n", "\r\n").encode("ascii"))
    files.append((note, note.name))

    for rel, name in OPTIONAL_FILES:
        src = args.source / rel
        if src.is_file():
            dst = args.stage / name
            dst.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(src, dst)
            files.append((dst, name))

    for path, _ in files:
        os.utime(path, (epoch, epoch))
    return files


def write_zip(path: Path, files: list[tuple[Path, str]], epoch: int) -> None:
    stamp = time.gmtime(max(epoch, ZIP_EPOCH_MIN))[:6]
    with zipfile.ZipFile(path, "w") as archive:
        for src, name in sorted(files, key=lambda f: f[1]):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # fixed, rather than whatever system builds it
            info.external_attr = 0o644 << 16
            archive.writestr(info, src.read_bytes(), compresslevel=9)


def write_setup(args, path: Path, epoch: int) -> None:
    nsi = Path(__file__).resolve().with_name("corvane.nsi")
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    subprocess.run([args.makensis, "-V2", "-INPUTCHARSET", "UTF8",
                    f"-DVERSION={args.version}", f"-DSTAGE={args.stage}",
                    f"-DMAIN_TITLE={version_texts(args.source)['CORVANE_WINDOW_TITLE']}",
                    f"-DICON={args.icon}", f"-DOUTFILE={path}", str(nsi)],
                   env=env, check=True, stdout=subprocess.DEVNULL)


def write_sums(out: Path, names: list[str]) -> None:
    lines = []
    for name in sorted(names):
        digest = hashlib.sha256((out / name).read_bytes()).hexdigest()
        lines.append(f"{digest}  {name}\n")
    (out / "SHA256SUMS").write_text("".join(lines))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", type=Path, required=True, help="the linked Corvane.exe")
    parser.add_argument("--version", required=True, help="four numbers, e.g. 2.0.0.0")
    parser.add_argument("--source", type=Path, required=True, help="the source tree")
    parser.add_argument("--icon", type=Path, required=True)
    parser.add_argument("--makensis", required=True)
    parser.add_argument("--strip", required=True)
    parser.add_argument("--stage", type=Path, required=True, help="scratch folder, emptied first")
    parser.add_argument("--out", type=Path, required=True)
    args = parser.parse_args()
    # makensis reads paths relative to the script's folder, not ours.
    for name in ("exe", "source", "icon", "stage", "out"):
        setattr(args, name, getattr(args, name).resolve())

    epoch = release_epoch(args.source)
    files = stage_files(args, epoch)
    args.out.mkdir(parents=True, exist_ok=True)
    zip_name = f"{PRODUCT}-{args.version}-portable.zip"
    setup_name = f"{PRODUCT}-{args.version}-setup.exe"
    for stale in (zip_name, setup_name, "SHA256SUMS"):
        (args.out / stale).unlink(missing_ok=True)
    write_zip(args.out / zip_name, files, epoch)
    write_setup(args, args.out / setup_name, epoch)
    write_sums(args.out, [zip_name, setup_name])
    print(f"release files in {args.out}: {zip_name}, {setup_name}, SHA256SUMS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
