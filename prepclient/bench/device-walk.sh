#!/usr/bin/env bash
# Prints how long Ostrelle.exe takes under Wine with no extra devices and with
# many planted ones (none of them stale), and the cost per device. A figure,
# not a test. Usage: device-walk.sh [Ostrelle.exe] [device count]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
OSTRELLE="${1:-$ROOT/build/windows/bin/Ostrelle.exe}"
COUNT="${2:-2000}"
RUNS=5
source "$ROOT/scripts/wine-lib.sh"

wine_prefix_new win32
WORK="$WINE_TMP/work"
mkdir -p "$WORK"

median_ms() {
    local times=()
    for _ in $(seq "$RUNS"); do
        local start end
        start="$(date +%s%N)"
        wine_run_in "$WORK" "$OSTRELLE" 3>/dev/null >/dev/null
        end="$(date +%s%N)"
        times+=($(((end - start) / 1000000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((RUNS + 1) / 2))p"
}

base="$(median_ms)"
{
    printf 'REGEDIT4\r\n\r\n'
    for i in $(seq "$COUNT"); do
        key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\ROOT\\BENCH\\$(printf '%05d' "$i")"
        printf '[%s]\r\n"ClassGUID"="{4D36E967-E325-11CE-BFC1-08002BE10318}"\r\n\r\n' "$key"
        printf '[%s\\Properties\\{a45c254e-df1c-4efd-8020-67d146a850e0}\\0024]\r\n@=hex(ffff0007):00,00,00,00\r\n\r\n' "$key"
    done
} >"$WINE_TMP/bench.reg"
wine_reg_import "$WINE_TMP/bench.reg"
loaded="$(median_ms)"
echo "Ostrelle.exe median of $RUNS runs under Wine: ${base} ms with the prefix's own devices," \
    "${loaded} ms with $COUNT more"
awk -v a="$base" -v b="$loaded" -v n="$COUNT" \
    'BEGIN { printf "per planted device: %.1f us (five property reads each)\n", (b - a) * 1000 / n }'
