#!/usr/bin/env bash
# Checks the built program as a user's machine will see it: a 32-bit GUI
# executable that needs nothing beside it but system DLLs, carrying every
# resource the windows are built from. Usage: check_exe.sh Corvane.exe
set -u
exe=${1:?usage: check_exe.sh path/to/Corvane.exe}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
windres=${WINDRES:-i686-w64-mingw32-windres}
python=${PYTHON:-python3}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- the image itself --------------------------------------------------------
"$objdump" -f "$exe" >"$work/f.txt" || { echo "FAIL: objdump cannot read $exe"; exit 1; }
"$objdump" -p "$exe" >"$work/p.txt" || { echo "FAIL: objdump -p cannot read $exe"; exit 1; }
grep -q "file format pei-i386" "$work/f.txt" || fail "not a 32-bit PE image: $(grep 'file format' "$work/f.txt")"
grep -Eq "^Magic[[:space:]]+010b" "$work/p.txt" || fail "optional header is not PE32"
grep -Eq "^Subsystem[[:space:]]+0+2[[:space:]]" "$work/p.txt" || fail "subsystem is not 2 (Windows GUI)"

# Only DLLs every Windows has: a runtime DLL from the build machine would make
# the program fail to start elsewhere.
allowed=" KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL COMCTL32.DLL WININET.DLL WS2_32.DLL MSVCRT.DLL SECUR32.DLL CRYPT32.DLL MSIMG32.DLL IPHLPAPI.DLL WINHTTP.DLL VERSION.DLL "
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$work/p.txt" | tr '[:lower:]' '[:upper:]' | sort -u)
[ -n "$imports" ] || fail "no import table found"
for dll in $imports; do
  case "$allowed" in *" $dll "*) ;; *) fail "imports a DLL that is not a system DLL: $dll" ;; esac
done
for dll in KERNEL32.DLL USER32.DLL WININET.DLL WS2_32.DLL; do
  grep -qx "$dll" <<<"$imports" || fail "does not import $dll"
done

# A size budget for the stripped image: a stream or locale use, or a printf,
# drags the runtime's locale machinery or formatter back in and shows here
# (several hundred kilobytes). The checks on workers, IPv6 watching and the
# history brought the image to about 1,008,000 bytes; 1 MiB leaves room for
# honest growth while such a fault still shows.
strip=${STRIP:-i686-w64-mingw32-strip}
size=0
"$strip" -o "$work/stripped.exe" "$exe" && size=$(stat -c %s "$work/stripped.exe")
[ "$size" -gt 0 ] && [ "$size" -le 1048576 ] || fail "the stripped image is $size bytes, over the 1 MiB budget"

# --- resources, read back as a script ----------------------------------------
"$windres" -i "$exe" -o "$work/x.rc" 2>"$work/windres.err" || { cat "$work/windres.err"; echo "FAIL: windres cannot read the resources"; exit 1; }
"$windres" -i "$exe" -O res -o "$work/x.res" || { echo "FAIL: windres cannot write the resources"; exit 1; }

# Each expected line must appear, whitespace-normalised, inside the named block.
expect_in_block() {  # block-start-line expected-line...
  local start=$1; shift
  awk -v start="$start" '
    { gsub(/[ \t]+/, " "); sub(/^ /, ""); sub(/ $/, "") }
    $0 == start { inside = 1; depth = 0 }
    inside { print; if ($0 == "BEGIN") depth++; if ($0 == "END" && --depth == 0) exit }
  ' "$work/x.rc" >"$work/block.txt"
  [ -s "$work/block.txt" ] || { fail "no resource block '$start'"; return; }
  local line
  for line in "$@"; do
    grep -qxF -- "$line" "$work/block.txt" || fail "in '$start': missing '$line'"
  done
}

expect_in_block '100 DIALOGEX 0, 0, 236, 87' \
  'STYLE 0x80000840' 'EXSTYLE 0x20000' 'FONT 8, "MS Sans Serif", 400, 0, 1' \
  'CONTROL "Corvane Version 2.0", -1, 130, 0x50020080, 83, 32, 70, 8' \
  'CONTROL "OK", 1, "BUTTON", 0x50038000, 92, 66, 50, 14'
grep -Eq '^ *ICON 128, -1, 107, 7,' "$work/x.rc" || fail "About box: no icon 128 at 107, 7"
grep -Eq '^ *LTEXT "[^"]+", -1, 62, 47, 111, 8, 0x50020000' "$work/x.rc" || fail "About box: no maker's notice at 62, 47"

# The address-fetch control is hidden, and the IPv6 field until the window shows it;
# every other control of the main window shows.
expect_in_block '102 DIALOGEX 0, 0, 266, 236' \
  'STYLE 0x90000840' 'EXSTYLE 0x40000' 'FONT 8, "MS Sans Serif", 400, 0, 1' \
  'CONTROL "", 1000, "CORVANEINETCONTROL", 0x40000000, 6, 7, 25, 23' \
  'EDITTEXT 1001, 49, 121, 121, 12, 0x50010801' \
  'EDITTEXT 1003, 44, 134, 132, 7, 0x40010881' \
  'CONTROL "Update", 1002, "BUTTON", 0x50018000, 61, 141, 47, 11' \
  'CONTROL "", 1004, "CORVANESMTPCONTROL", 0x50000000, 253, 7, 6, 6' \
  'CONTROL "Settings", 1005, "BUTTON", 0x50018000, 111, 141, 47, 11' \
  'EDITTEXT 1016, 49, 74, 121, 41, 0x50011805' \
  'CONTROL "Hide", 1018, "BUTTON", 0x50018001, 87, 154, 47, 11'

expect_in_block '132 DIALOGEX 0, 0, 188, 212' \
  'STYLE 0x80c80840' 'EXSTYLE 0x20280' 'FONT 8, "MS Sans Serif", 400, 0, 1' \
  'CONTROL "Save", 1, "BUTTON", 0x50018000, 7, 173, 53, 14' \
  'CONTROL "Discard", 2, "BUTTON", 0x50018000, 128, 173, 53, 14' \
  'EDITTEXT 1006, 64, 18, 110, 12, 0x50810080' \
  'EDITTEXT 1007, 64, 47, 110, 12, 0x50810080' \
  'EDITTEXT 1008, 64, 61, 110, 12, 0x508100a0' \
  'EDITTEXT 1009, 64, 75, 110, 12, 0x50810080' \
  'EDITTEXT 1010, 64, 90, 110, 12, 0x50810080' \
  'CONTROL "Settings", -1, "BUTTON", 0x50008007, 7, 7, 174, 145' \
  'RTEXT "SMTP Server:", -1, 14, 20, 46, 8, 0x50020002' \
  'RTEXT "Authentication:", -1, 12, 35, 48, 8, 0x50020002' \
  'COMBOBOX 1011, 64, 32, 110, 72, 0x50210103' \
  'RTEXT "Timer:", -1, 40, 106, 20, 8, 0x50020002' \
  'COMBOBOX 1012, 64, 104, 110, 118, 0x50210103' \
  'RTEXT "IP Page:", -1, 31, 120, 29, 8, 0x50020002' \
  'EDITTEXT 1015, 64, 118, 110, 12, 0x50810080' \
  'RTEXT "IPv6:", -1, 40, 134, 20, 8, 0x50020002' \
  'COMBOBOX 1029, 64, 132, 110, 40, 0x50210003' \
  'CONTROL "Test E-Mail Settings", 1013, "BUTTON", 0x50018000, 7, 155, 174, 14' \
  'CONTROL "Help", 1014, "BUTTON", 0x50018000, 67, 173, 53, 14' \
  'CONTROL "", 1004, "CORVANESMTPCONTROL", 0x50000000, 13, 92, 19, 23' \
  'CONTROL "Web Notify...", 1017, "BUTTON", 0x50018000, 7, 191, 174, 14'

expect_in_block '133 DIALOGEX 0, 0, 240, 140' \
  'STYLE 0x80c80840' 'EXSTYLE 0x20280' 'CAPTION "Web Notifications"' 'FONT 8, "MS Sans Serif", 400, 0, 1' \
  'LISTBOX 1024, 7, 7, 226, 88, 0x50a10101' \
  'CONTROL "Add...", 1025, "BUTTON", 0x50018000, 7, 100, 70, 14' \
  'CONTROL "Edit...", 1026, "BUTTON", 0x50018000, 85, 100, 70, 14' \
  'CONTROL "Remove", 1027, "BUTTON", 0x50018000, 163, 100, 70, 14' \
  'CONTROL "OK", 1, "BUTTON", 0x50018000, 7, 120, 53, 14' \
  'CONTROL "Cancel", 2, "BUTTON", 0x50018000, 180, 120, 53, 14'

expect_in_block '134 DIALOGEX 0, 0, 240, 213' \
  'STYLE 0x80c80840' 'EXSTYLE 0x20280' 'CAPTION "Web Notification"' 'FONT 8, "MS Sans Serif", 400, 0, 1' \
  'EDITTEXT 1020, 44, 18, 182, 12, 0x50810080' \
  'COMBOBOX 1021, 44, 33, 60, 60, 0x50210003' \
  'RTEXT "When:", -1, 10, 50, 30, 8, 0x50020002' \
  'COMBOBOX 1032, 44, 48, 110, 60, 0x50210003' \
  'EDITTEXT 1028, 44, 63, 182, 34, 0x50a110c4' \
  'EDITTEXT 1022, 44, 101, 182, 38, 0x50a11044' \
  'CONTROL "Test", 1023, "BUTTON", 0x50018000, 7, 175, 226, 14' \
  'CONTROL "OK", 1, "BUTTON", 0x50018000, 7, 193, 53, 14' \
  'CONTROL "Cancel", 2, "BUTTON", 0x50018000, 180, 193, 53, 14'

expect_in_block '135 DIALOGEX 0, 0, 350, 170' \
  'STYLE 0x80c80840' 'EXSTYLE 0x20280' 'CAPTION "History"' 'FONT 8, "MS Sans Serif", 400, 0, 1' \
  'LISTBOX 1030, 7, 7, 336, 136, 0x50b14101' \
  'CONTROL "Copy", 1031, "BUTTON", 0x50018000, 7, 149, 53, 14' \
  'CONTROL "Close", 2, "BUTTON", 0x50018000, 290, 149, 53, 14'

expect_in_block '131 MENU' 'POPUP "Menu"' 'MENUITEM "Restore", 32771' 'MENUITEM "History...", 32773' \
  'MENUITEM "Exit", 32772'
expect_in_block 'STRINGTABLE' '101, "&About"' '103, "&History..."'

expect_in_block '1 VERSIONINFO' \
  'FILEVERSION 2, 0, 0, 0' 'PRODUCTVERSION 2, 0, 0, 0' 'FILEOS 0x4' 'FILETYPE 0x1' \
  'BLOCK "040904B0"' \
  'VALUE "CompanyName", "Orlimar"' 'VALUE "FileVersion", "2.0"' 'VALUE "InternalName", "Corvane"' \
  'VALUE "OriginalFilename", "Corvane.exe"' 'VALUE "ProductName", "Corvane"' 'VALUE "ProductVersion", "2.0"' \
  'VALUE "Comments", ""' 'VALUE "LegalTrademarks", ""' 'VALUE "PrivateBuild", ""' 'VALUE "SpecialBuild", ""' \
  'VALUE "Translation", 0x409, 1200'
# A script with no FILEFLAGS line has the flags 0; any other value is printed.
grep -Eq '^ *FILEFLAGS ' "$work/x.rc" && ! grep -Eq '^ *FILEFLAGS 0x0$' "$work/x.rc" && fail "version block has flags set"

# Icon group, bitmaps and manifest, from the binary resources.
"$python" - "$work/x.res" <<'PY' || failures=$((failures + 1))
import struct, sys

data = open(sys.argv[1], "rb").read()
resources = {}

def name(pos):
    if struct.unpack_from("<H", data, pos)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    text = ""
    while True:
        unit = struct.unpack_from("<H", data, pos)[0]
        pos += 2
        if unit == 0:
            return text, pos
        text += chr(unit)

pos = 0
while pos + 8 <= len(data):
    size, header = struct.unpack_from("<II", data, pos)
    kind, after = name(pos + 8)
    ident, _ = name(after)
    resources[(kind, ident)] = data[pos + header:pos + header + size]
    pos = (pos + header + size + 3) & ~3

problems = []

def check(condition, text):
    if not condition:
        problems.append(text)

group = resources.get((14, 128))
check(group is not None, "no icon group 128")
if group:
    count = struct.unpack_from("<H", group, 4)[0]
    entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
    sizes = sorted((e[0] or 256, e[1] or 256) for e in entries)
    check(sizes == [(16, 16), (32, 32)], f"icon group 128 holds {sizes}, not 32x32 and 16x16")
    for e in entries:
        image = resources.get((3, e[7]))
        check(image is not None, f"icon image {e[7]} missing")
        if image:
            bits = struct.unpack_from("<H", image, 14)[0]
            check(bits == 8, f"icon image {e[0]}x{e[1]} has {bits} bits per pixel, not 8")

for ident, width, height in ((136, 148, 120), (137, 330, 328)):
    bitmap = resources.get((2, ident))
    check(bitmap is not None, f"no bitmap {ident}")
    if bitmap:
        _, w, h, _, bits, compression = struct.unpack_from("<IiiHHI", bitmap, 0)
        check((w, abs(h), bits, compression) == (width, height, 24, 0),
              f"bitmap {ident} is {w}x{h}x{bits} compression {compression}, not {width}x{height}x24 uncompressed")

manifest = resources.get((24, 1))
check(manifest is not None, "no manifest (type 24, id 1)")
if manifest:
    text = manifest.decode("utf-8").strip()
    body = text.split("?>", 1)[1].strip() if text.startswith("<?xml") else text
    check(body == '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>',
          f"manifest is not the empty assembly: {body!r}")

for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
PY

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $exe"
  exit 1
fi
echo "all checks passed for $exe"
