#!/usr/bin/env bash
# The shipped file itself: a console program of the edition's word size, no MinGW runtime
# DLLs, only DLLs every Windows has, and a manifest Windows really finds (RT_MANIFEST, id 1)
# asking asInvoker. Only the last check needs Wine; the file checks run on every host.
source "$(dirname "$0")/lib.sh" "$@"
OBJDUMP="$(edition_tool objdump)"

headers="$("$OBJDUMP" -p "$EXE")"
expect_eq "optional header magic" "$(edition_pe_magic)" "$(awk '/^Magic/ {print $2}' <<<"$headers")"
expect_eq "machine" "$(edition_pe_arch)" \
    "$("$OBJDUMP" -f "$EXE" | sed -n 's/^architecture: \([^,]*\),.*/\1/p')"
expect "console subsystem" grep -Eq '^Subsystem[[:space:]]+00000003' <<<"$headers"

imports="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)"
echo "imports: $(tr '\n' ' ' <<<"$imports")"
expect "imports something" test -n "$imports"
unexpected="$(grep -vxE 'kernel32\.dll|msvcrt\.dll|shell32\.dll|ole32\.dll|user32\.dll|advapi32\.dll' <<<"$imports")"
expect_eq "only DLLs every Windows has" "" "$unexpected"
expect_eq "exactly the DLLs the README lists" \
    "advapi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll" "$(xargs <<<"$imports")"

# The resources as the file holds them: the version resource and RT_MANIFEST (24), both
# with numeric name 1, and nothing else.
resources="$("$(edition_tool windres)" -i "$EXE" -O rc 2>/dev/null)"
expect_eq "resources: VERSIONINFO 1 and RT_MANIFEST 1, nothing else" "1 24
1 VERSIONINFO" \
    "$(grep -E '^[0-9A-Za-z_]+ [0-9A-Za-z_]+( |$)' <<<"$resources" | grep -v '^LANGUAGE ' | cut -d' ' -f1,2 | sort)"
expect "the manifest asks for asInvoker" \
    grep -q 'requestedExecutionLevel level=""asInvoker"" uiAccess=""false""' <<<"$resources"
echo "size: $(stat -c %s "$EXE") bytes"

if ! wine_edition_runs; then
    echo "not checked here: how Windows loads the manifest (this host cannot run the $EDITION edition)"
    finish
fi
launcher_prefix
wine_file manifest "$(winepath -w "$EXE")"
manifest="$WINE_ANSWER"
expect "Windows finds an RT_MANIFEST resource with id 1" grep -q '<assembly' <<<"$manifest"
expect "the manifest asks for asInvoker" \
    grep -q 'requestedExecutionLevel level="asInvoker" uiAccess="false"' <<<"$manifest"

finish
