#!/usr/bin/env bash
# The shipped file itself: a console program of the edition's word size, no resources (a
# manifest would change the version the system reports), only system DLLs imported.
# Nothing here needs Wine, so it runs on every host.
set -uo pipefail
OSTRELLE="$1"
source "$(dirname "$0")/e2e-lib.sh"
OBJDUMP="$(edition_tool objdump)"

headers="$("$OBJDUMP" -p "$OSTRELLE")"
expect_eq "optional header magic" "$(edition_pe_magic)" "$(awk '/^Magic/ {print $2}' <<<"$headers")"
expect_eq "machine" "$(edition_pe_arch)" \
    "$("$OBJDUMP" -f "$OSTRELLE" | sed -n 's/^architecture: \([^,]*\),.*/\1/p')"
expect_eq "console subsystem" "00000003" "$(awk '/^Subsystem/ {print $2}' <<<"$headers")"
# Address and size of the resource directory entry, as wide as the edition prints them.
expect_eq "no resource directory" "0 0" \
    "$(sed -n 's/^Entry 2 0*\([0-9a-f]*\) 0*\([0-9a-f]*\) Resource Directory.*/\1 \2/p' <<<"$headers" |
        sed 's/^ /0 /; s/ $/ 0/')"
"$OBJDUMP" -h "$OSTRELLE" | grep -q '\.rsrc' && fail "has a .rsrc section" || pass

imports="$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')"
expect_eq "imports" "kernel32.dll msvcrt.dll ole32.dll setupapi.dll " "$imports"
echo "Ostrelle.exe ($EDITION): $(stat -c %s "$OSTRELLE") bytes, imports: $imports"

e2e_finish
