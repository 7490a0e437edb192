#!/usr/bin/env bash
# The launcher's version resource as the system's version API reads it, against the one
# project version ($2); and the probe's reader does not leak into the shipped program.
source "$(dirname "$0")/lib.sh" "$@"
VERSION="$2"
if [ "$EDITION" = x64 ]; then OBJDUMP=x86_64-w64-mingw32-objdump; else OBJDUMP=i686-w64-mingw32-objdump; fi

imports="$("$OBJDUMP" -p "$EXE" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')"
expect "the launcher imports something" test -n "$imports"
expect "the launcher does not import version.dll" bash -c '! grep -qx version.dll' <<<"$imports"

launcher_prefix
wine_file version "$(winepath -w "$EXE")"
version="$WINE_ANSWER"
expect_eq "FileVersion, ProductVersion and the fixed version are the project's; the original name is the shipped one" \
    "$(printf '%s\n' "FileVersion=$VERSION" "ProductVersion=$VERSION" \
        "OriginalFilename=QuillbeckSetup.exe" "Fixed=$VERSION.0")" "$version"

finish
