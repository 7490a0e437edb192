#!/usr/bin/env bash
# Staging speed under Wine, a figure and not a test: QuillbeckSetup.exe against a bare
# FindFirstFileW/CopyFileW walk (bare_copy_walk.exe, built beside it) and Wine's own
# "xcopy /E /Y /I", on one package in one prefix, in rotated rounds, each into an emptied
# C:\Windows\Setup\Scripts and each copy checked byte for byte with its attributes. Prints
# medians, the spread of the rounds, ratios, CPU time (the process and the prefix's
# wineserver, which does file work for every program) and the launcher's fixed cost.
#   bash launcher/bench/staging.sh [--package real|generated] [--rounds N]
#                                  [--edition x64|x86|both] [--exe EXE] [--before EXE]
# real (default): about 8,900 files shaped like published packages: 7,400 small files in one
#   folder, 1,500 of mixed sizes 3-6 folders deep, a few of several MB, names of mixed
#   length and case. generated: 5,000 files of 20 KB in 50 folders.
# --exe EXE: the QuillbeckSetup.exe to time, of that one edition (default: the build's).
# --before EXE: an earlier QuillbeckSetup.exe of that one edition, timed in the same rounds.
# The editions come from build/windows-x64 and build/windows; the x86 one is skipped, with
# the reason, on a host that cannot run 32-bit programs.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
PACKAGE=real ROUNDS=5 EDITIONS="x64 x86" GIVEN="" BEFORE=""
while [ $# -gt 0 ]; do
    case "$1" in
    --package) PACKAGE="$2" ;;
    --rounds) ROUNDS="$2" ;;
    --edition) EDITIONS="${2/both/x64 x86}" ;;
    --exe) GIVEN="$(realpath "$2")" ;;
    --before) BEFORE="$(realpath "$2")" ;;
    *) sed -n '2,16s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
    esac
    shift 2
done
[ -z "$GIVEN$BEFORE" ] || [ "$(wc -w <<<"$EDITIONS")" -eq 1 ] || {
    echo "staging.sh: --exe and --before need one --edition" >&2
    exit 2
}
source "$ROOT/scripts/wine-lib.sh"
BENCH="$ROOT/launcher/bench/staging.py"

PACKAGES="$(mktemp -d)"
trap 'rm -rf "$PACKAGES"' EXIT
python3 "$BENCH" make "$PACKAGE" "$PACKAGES/pkg"
python3 "$BENCH" make one "$PACKAGES/one" >/dev/null
echo "host: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $("$WINELOADER" --version)"

for EDITION in $EDITIONS; do
    if [ "$EDITION" = x64 ]; then BUILD=windows-x64 ARCH=win64; else BUILD=windows ARCH=win32; fi
    EXE="${GIVEN:-$ROOT/build/$BUILD/bin/QuillbeckSetup.exe}"
    WALK="$ROOT/build/$BUILD/launcher/bench/bare_copy_walk.exe"
    for program in "$EXE" "$WALK"; do
        [ -f "$program" ] || { echo "build the $BUILD preset first: $program is missing" >&2; exit 1; }
    done
    echo "== $EDITION edition, $PACKAGE package, $ROUNDS rounds"
    # A prefix of its own for each edition, gone with the subshell; one this host cannot
    # run ends the subshell with 77 and the reason. (No errexit in here: hence the &&.)
    status=0
    (
        wine_prefix_new "$ARCH" &&
            mkdir -p "$(wine_drive_c)/bench" "$(wine_drive_c)/windows/Setup" &&
            cp -a "$PACKAGES/pkg" "$PACKAGES/one" "$(wine_drive_c)/bench/" &&
            python3 "$BENCH" rounds "$WINEPREFIX" "$WINELOADER" "$ROUNDS" "$WALK" "$EXE" \
                ${BEFORE:+"$BEFORE"}
    ) || status=$?
    [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || exit "$status"
done
