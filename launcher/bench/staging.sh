#!/usr/bin/env bash
# Staging speed: QuillbeckSetup.exe against Wine's own "xcopy /E /Y /I" of the same package
# (5,000 files in 50 folders, about 100 MB) in the same prefix, alternating which goes
# first, each into an emptied destination. Prints the figures; not a test.
#   bash launcher/bench/staging.sh [QuillbeckSetup.exe] [rounds]
set -euo pipefail
cd "$(dirname "$0")/../.."
EXE="$(realpath "${1:-build/windows/bin/QuillbeckSetup.exe}")"
ROUNDS="${2:-5}"
[ -f "$EXE" ] || { echo "build the windows preset first: $EXE is missing" >&2; exit 1; }
source scripts/wine-lib.sh
wine_prefix_new win32
C="$(wine_drive_c)"
mkdir -p "$C/windows/Setup"

python3 - "$C/bench/pkg" <<'PY'
import os, sys
root = sys.argv[1]
for folder in range(50):
    path = os.path.join(root, "folder%02d" % folder)
    os.makedirs(path)
    for n in range(100):
        with open(os.path.join(path, "file%03d.bin" % n), "wb") as f:
            f.write(os.urandom(20 * 1024))
with open(os.path.join(root, "install.cmd"), "wb") as f:
    f.write(b"@exit /b 0\r\n")
PY
echo "package: $(find "$C/bench/pkg" -type f | wc -l) files, $(du -sm "$C/bench/pkg" | cut -f1) MB"

seconds() { date +%s.%N; }
run_ours() {
    rm -rf "$C/windows/Setup/Scripts"
    local start end
    # Start each copy with the previous one's writes on disk, not still being flushed.
    sync
    start="$(seconds)"
    (cd "$C" && wine "$EXE" 'C:\bench\pkg' </dev/null >/dev/null 2>&1) || {
        echo "QuillbeckSetup.exe failed" >&2
        exit 1
    }
    end="$(seconds)"
    [ "$(find "$C/windows/Setup/Scripts" -type f | wc -l)" -eq 5001 ] || {
        echo "QuillbeckSetup.exe staged an incomplete copy" >&2
        exit 1
    }
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
run_xcopy() {
    rm -rf "$C/bench/xcopy-dest"
    local start end
    # Start each copy with the previous one's writes on disk, not still being flushed.
    sync
    start="$(seconds)"
    (cd "$C" && wine xcopy 'C:\bench\pkg' 'C:\bench\xcopy-dest' /E /Y /I </dev/null >/dev/null 2>&1)
    end="$(seconds)"
    [ "$(find "$C/bench/xcopy-dest" -type f | wc -l)" -eq 5001 ] || {
        echo "xcopy staged an incomplete copy" >&2
        exit 1
    }
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

# One unmeasured round of each warms the page cache and Wine's own start-up.
run_ours >/dev/null
run_xcopy >/dev/null

ours=()
theirs=()
ratios=()
for round in $(seq 1 "$ROUNDS"); do
    if [ $((round % 2)) -eq 1 ]; then
        o="$(run_ours)"
        x="$(run_xcopy)"
    else
        x="$(run_xcopy)"
        o="$(run_ours)"
    fi
    r="$(awk -v a="$o" -v b="$x" 'BEGIN { print a / b }')"
    ours+=("$o")
    theirs+=("$x")
    ratios+=("$r")
    printf 'round %d: QuillbeckSetup %.2f s, xcopy %.2f s, ratio %.3f\n' "$round" "$o" "$x" "$r"
done

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
printf 'median: QuillbeckSetup %.2f s, xcopy %.2f s, ratio %.3f (target: at most 1.0)\n' \
    "$(median "${ours[@]}")" "$(median "${theirs[@]}")" "$(median "${ratios[@]}")"
