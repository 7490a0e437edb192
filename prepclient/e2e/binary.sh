#!/usr/bin/env bash
# The shipped file itself: a 32-bit console program, no resources (a manifest
# would change the version the system reports), only system DLLs imported.
set -uo pipefail
OSTRELLE="$1"
source "$(dirname "$0")/e2e-lib.sh"
OBJDUMP=i686-w64-mingw32-objdump

headers="$("$OBJDUMP" -p "$OSTRELLE")"
expect_eq "format" "pei-i386" "$(sed -n 's/.*file format //p' <<<"$headers" | head -n1)"
expect_eq "console subsystem" "00000003" "$(awk '/^Subsystem/ {print $2}' <<<"$headers")"
expect_eq "no resource directory" "00000000 00000000" \
    "$(sed -n 's/^Entry 2 \([0-9a-f]* [0-9a-f]*\) Resource Directory.*/\1/p' <<<"$headers")"
"$OBJDUMP" -h "$OSTRELLE" | grep -q '\.rsrc' && fail "has a .rsrc section" || pass

imports="$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')"
expect_eq "imports" "kernel32.dll msvcrt.dll ole32.dll setupapi.dll " "$imports"
echo "Ostrelle.exe: $(stat -c %s "$OSTRELLE") bytes, imports: $imports"

e2e_finish
