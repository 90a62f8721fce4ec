#!/usr/bin/env python3
"""Names the frames of a winedbg backtrace that lie in one of our programs.

winedbg prints such frames as "0x004d42a2 in fw_test (+0xd42a2)": our
programs carry a symbol table but no debug information, and winedbg reads
only the latter. The symbol table is enough to say which function crashed.

Usage: wine-frames.py PROGRAM.exe LOG
"""
import bisect
import os
import re
import subprocess
import sys


def main():
    exe, log = sys.argv[1], sys.argv[2]
    module = os.path.splitext(os.path.basename(exe))[0]
    frame = re.compile(r"^\s*=?>?\s*(\d+) 0x([0-9a-f]+) in " + re.escape(module) + r" \(\+0x", re.I)
    with open(log, errors="replace") as f:
        frames = [(m.group(1), int(m.group(2), 16)) for m in map(frame.match, f) if m]
    if not frames:
        return
    try:
        listing = subprocess.run(["i686-w64-mingw32-nm", "-C", "--defined-only", exe],
                                 capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError) as e:
        print(f"wine-frames: cannot read the symbols of {exe}: {e}")
        return
    # Functions kept only as a section of their own (".text$<mangled name>",
    # as some of the runtime's are) count too, their names demangled here.
    symbols, sections = [], []
    for line in listing.splitlines():
        parts = line.split(" ", 2)
        if len(parts) != 3 or parts[1] not in "tT":
            continue
        if parts[2].startswith(".text$"):
            sections.append((int(parts[0], 16), parts[2][len(".text$"):]))
        elif not parts[2].startswith("."):
            symbols.append((int(parts[0], 16), parts[2]))
    if sections:
        named = subprocess.run(["i686-w64-mingw32-c++filt", "-n"], input="\n".join(n for _, n in sections),
                               capture_output=True, text=True).stdout.splitlines()
        if len(named) == len(sections):
            sections = [(a, n) for (a, _), n in zip(sections, named)]
    known = {a for a, _ in symbols}
    symbols = sorted(symbols + [s for s in sections if s[0] not in known])
    starts = [a for a, _ in symbols]
    print(f"wine-frames: the frames in {module}, named from its symbol table:")
    for number, address in frames:
        i = bisect.bisect_right(starts, address) - 1
        where = f"{symbols[i][1]}+0x{address - symbols[i][0]:x}" if i >= 0 else "?"
        print(f"  {number} 0x{address:08x} {where}")


if __name__ == "__main__":
    main()
