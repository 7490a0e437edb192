#!/usr/bin/env bash
# Builds the release twice, from two copies of the source tree in two different folders,
# and requires byte-identical programs and archive; then unpacks the archive, checks its
# SHA256SUMS and runs the programs from it under Wine.
source "$(dirname "$0")/wine-lib.sh"
set -uo pipefail
SRC="$(cd "$(dirname "$0")/.." && pwd)"
FAILURES=0
check() {
    local what="$1"
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; FAILURES=$((FAILURES + 1)); fi
}

WORK="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-release.XXXXXX")"
trap 'wine_cleanup; rm -rf "$WORK"' EXIT
for copy in one two-other-folder; do
    mkdir -p "$WORK/$copy/src"
    (cd "$SRC" && tar --exclude=./build --exclude=./dist --exclude=./.git -cf - .) |
        (cd "$WORK/$copy/src" && tar -xf -)
    bash "$WORK/$copy/src/scripts/release.sh" "$WORK/$copy/build" >"$WORK/$copy.log" 2>&1 ||
        { cat "$WORK/$copy.log"; echo "FAIL: release build in $copy"; exit 1; }
done
VERSION="$(sed -n 's/^project(ImagePrepTools VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")"
ZIP="dist/imageprep-tools-$VERSION.zip"
hashes() {
    (cd "$WORK/$1/build/stage" && sha256sum x86/Ostrelle.exe x86/QuillbeckSetup.exe \
        x64/Ostrelle.exe x64/QuillbeckSetup.exe)
    (cd "$WORK/$1/src" && sha256sum "$ZIP")
}
hashes one >"$WORK/one.sums"
hashes two-other-folder >"$WORK/two.sums"
cat "$WORK/one.sums"
check "two builds from two folders give the same four programs and the same archive" \
    cmp -s "$WORK/one.sums" "$WORK/two.sums"
check "no build folder in any program" \
    bash -c "! grep -rl -e '$WORK' '$WORK/one/build/stage' '$WORK/two-other-folder/build/stage'"
for exe in "$WORK"/one/build/stage/*/*.exe; do
    stamp="$(objdump -p "$exe" 2>/dev/null | sed -n 's/^Time\/Date[[:space:]]*//p')"
    [ -n "$stamp" ] || stamp="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Time\/Date[[:space:]]*//p')"
    check "no link time stamp in ${exe#"$WORK"/one/build/stage/} ($stamp)" grep -q '1970' <<<"$stamp"
done

UNPACKED="$WORK/unpacked"
mkdir -p "$UNPACKED"
(cd "$UNPACKED" && unzip -q "$WORK/one/src/$ZIP")
check "the archive holds both editions of both programs, the usage and the sums" \
    test "$(cd "$UNPACKED" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = \
    "./README.txt ./SHA256SUMS ./x64/Ostrelle.exe ./x64/QuillbeckSetup.exe ./x86/Ostrelle.exe ./x86/QuillbeckSetup.exe "
check "SHA256SUMS lists every other file" test "$(wc -l <"$UNPACKED/SHA256SUMS")" -eq 5
check "sha256sum -c SHA256SUMS passes" bash -c "cd '$UNPACKED' && sha256sum --strict -c SHA256SUMS"
check "the usage names the version" grep -q "$VERSION" "$UNPACKED/README.txt"

# The programs from the archive run: the client gives its code, the launcher stages.
run_from_archive() {
    local edition="$1" arch="$2"
    wine_prefix_new "$arch"
    local c="$WINEPREFIX/drive_c"
    mkdir -p "$c/windows/Setup" "$c/pkg"
    printf '@echo off\r\necho ran> C:\\ran.txt\r\n' >"$c/pkg/install.cmd"
    local out
    out="$(cd "$c" && wine "$UNPACKED/$edition/Ostrelle.exe" </dev/null 2>/dev/null | tr -d '\r')"
    check "$edition Ostrelle from the archive prints its code" grep -q '^OperatingSystem: ' <<<"$out"
    check "$edition Ostrelle from the archive writes OSType.txt" test -s "$c/OSType.txt"
    (cd "$c" && wine "$UNPACKED/$edition/QuillbeckSetup.exe" 'C:\pkg' </dev/null >/dev/null 2>&1)
    check "$edition QuillbeckSetup from the archive exits 0" test $? -eq 0
    check "$edition QuillbeckSetup from the archive staged the package" \
        test -f "$c/windows/Setup/Scripts/install.cmd"
}
EDITION=x64 run_from_archive x64 win64
if wine_host_runs_32bit; then
    EDITION=x86 run_from_archive x86 win32
else
    echo "note: this host cannot run the 32-bit programs; only the x64 ones were run"
fi

if [ "$FAILURES" -eq 0 ]; then echo "all checks passed"; exit 0; fi
echo "$FAILURES check(s) failed"
exit 1
