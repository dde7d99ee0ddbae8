#!/usr/bin/env bash
# The release executable is a self-contained 32-bit GUI program: pe-i386, Windows GUI
# subsystem, and nothing imported but DLLs that come with Windows.
set -euo pipefail
# objdump translates its report ("file format" reads "文件格式" under zh_CN): read it untranslated.
export LC_ALL=C
exe=$1
fail() { echo "FAIL: $*"; exit 1; }
# The dump (about 400 KB) goes through a file of its own, which the checks below read.
dump_file=$(mktemp)
trap 'rm -f "$dump_file"' EXIT
i686-w64-mingw32-objdump -p "$exe" >"$dump_file" || fail "objdump could not read $exe"
has() { grep -Eq "$1" "$dump_file"; }

has 'file format pei-i386' || fail "not a pe-i386 file ($(head -c 200 "$dump_file" | tr '\n' ' '))"
has '^Subsystem\s+0*2\s' || fail "not a Windows GUI program"
# Sections on page boundaries in the file, so the image is mapped from the file, not copied.
has '^FileAlignment\s+0*1000$' || fail "sections are not page-aligned in the file"

allowed='^(kernel32|user32|gdi32|comctl32|shell32|ole32|oleaut32|uxtheme|msimg32|ws2_32|advapi32|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$(sed -n 's/^\s*DLL Name: //p' "$dump_file" | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "no imports found"
for dll in $imports; do
  grep -Eq "$allowed" <<<"$dll" || fail "imports $dll, which is not a system DLL"
done
for needed in user32.dll gdi32.dll shell32.dll ole32.dll ws2_32.dll; do
  grep -qx "$needed" <<<"$imports" || fail "does not import $needed"
done
echo "pe-i386 GUI executable, $(stat -c %s "$exe") bytes, imports: $(echo $imports)"
