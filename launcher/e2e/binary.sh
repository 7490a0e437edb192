#!/usr/bin/env bash
# The shipped file itself: 32-bit console program, no MinGW runtime DLLs, only DLLs every
# Windows has, and a manifest Windows really finds (RT_MANIFEST, id 1) asking asInvoker.
source "$(dirname "$0")/lib.sh" "$@"

headers="$(i686-w64-mingw32-objdump -p "$EXE")"
expect "PE32 image" grep -Eq '^Magic[[:space:]]+010b' <<<"$headers"
expect "console subsystem" grep -Eq '^Subsystem[[:space:]]+00000003' <<<"$headers"
expect "x86 machine" bash -c "i686-w64-mingw32-objdump -f '$EXE' | grep -q 'i386'"

imports="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)"
echo "imports: $(tr '\n' ' ' <<<"$imports")"
expect "imports something" test -n "$imports"
unexpected="$(grep -vxE 'kernel32\.dll|msvcrt\.dll|shell32\.dll|ole32\.dll|user32\.dll|advapi32\.dll' <<<"$imports")"
expect_eq "only DLLs every Windows has" "" "$unexpected"

launcher_prefix
manifest="$(wine "$PROBE" manifest "$(winepath -w "$EXE" 2>/dev/null)" | tr -d '\r')"
expect "Windows finds an RT_MANIFEST resource with id 1" grep -q '<assembly' <<<"$manifest"
expect "the manifest asks for asInvoker" \
    grep -q 'requestedExecutionLevel level="asInvoker" uiAccess="false"' <<<"$manifest"
echo "size: $(stat -c %s "$EXE") bytes"

finish
