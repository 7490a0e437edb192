#!/usr/bin/env bash
# Prints how long Ostrelle.exe takes under Wine with no extra devices and with
# many planted ones, and the cost per device. A figure, not a test.
# Usage: device-walk.sh [Ostrelle.exe] [device count] [stale count] [other Ostrelle.exe]
# With a stale count, that many of the planted devices are stale (ghost NICs and failed
# installs in turn, spread evenly), every timed run starts from the same planted registry,
# and each run must remove exactly the stale ones. With another program, the two take turns
# on the same prefix, so their figures come from one machine state.
# IMAGEPREP_EDITION=x64 measures the x64 edition in a 64-bit prefix; DEVICE_WALK_RUNS sets
# the number of timed runs of each program (5).
set -euo pipefail
# A failed check inside a timed run must end the whole script, not only its subshell.
shopt -s inherit_errexit
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/scripts/wine-lib.sh"
if [ "$EDITION" = x64 ]; then BUILD=windows-x64; else BUILD=windows; fi
OSTRELLE="${1:-$ROOT/build/$BUILD/bin/Ostrelle.exe}"
COUNT="${2:-2000}"
STALE="${3:-0}"
OTHER="${4:-}"
RUNS="${DEVICE_WALK_RUNS:-5}"
ENUM='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum'
PROPS='{a45c254e-df1c-4efd-8020-67d146a850e0}'
[ "$STALE" -le "$COUNT" ] || { echo "device-walk: more stale devices than devices" >&2; exit 2; }

wine_prefix_new "$(wine_edition_arch)"
WORK="$WINE_TMP/work"
mkdir -p "$WORK"

# Device I of COUNT is stale when the even spread of STALE over COUNT steps at I.
is_stale() { [ $(($1 * STALE / COUNT)) -ne $((($1 - 1) * STALE / COUNT)) ]; }

plant() {
    local i key stale=0
    printf 'REGEDIT4\r\n\r\n'
    for i in $(seq "$COUNT"); do
        key="$ENUM\\ROOT\\BENCH\\$(printf '%05d' "$i")"
        if ! is_stale "$i"; then
            printf '[%s]\r\n"ClassGUID"="{4D36E967-E325-11CE-BFC1-08002BE10318}"\r\n\r\n' "$key"
            printf '[%s\\Properties\\%s\\0024]\r\n@=hex(ffff0007):00,00,00,00\r\n\r\n' "$key" "$PROPS"
        elif [ $((stale++ % 2)) -eq 0 ]; then
            # A network adapter without a physical device object.
            printf '[%s]\r\n"ClassGUID"="{4D36E972-E325-11CE-BFC1-08002BE10318}"\r\n\r\n' "$key"
            printf '[%s\\Properties\\%s\\000A]\r\n@=hex(ffff000d):72,e9,36,4d,25,e3,ce,11,bf,c1,08,00,2b,e1,03,18\r\n\r\n' \
                "$key" "$PROPS"
            printf '[%s\\Properties\\%s\\0024]\r\n@=hex(ffff0007):00,00,00,00\r\n\r\n' "$key" "$PROPS"
        else
            # A device whose installation failed.
            printf '[%s]\r\n"ClassGUID"="{4D36E967-E325-11CE-BFC1-08002BE10318}"\r\n\r\n' "$key"
            printf '[%s\\Properties\\%s\\0024]\r\n@=hex(ffff0007):02,00,00,00\r\n\r\n' "$key" "$PROPS"
        fi
    done
}

# The planted registry is kept in files while the server is down, and put back before each
# run, since a run with stale devices removes them.
# A new server holds the prefix after each, so the harness gets a new sentinel.
save_registry() {
    wineserver -k && wineserver -w
    mkdir -p "$WINE_TMP/saved"
    cp "$WINEPREFIX"/*.reg "$WINE_TMP/saved/"
    wineserver -p
    wine_sentinel_new
}
restore_registry() {
    wineserver -k && wineserver -w
    cp "$WINE_TMP/saved/"*.reg "$WINEPREFIX/"
    wineserver -p
    # The prefix's services start with the first program; they are not part of the figure.
    wine_sentinel_new
}

# The run must remove exactly the stale devices: one line each, and only the others left. The
# registry is read from the server's saved file: starting a reg.exe under load now and then
# fails, and the next run puts the registry back anyway.
check_removals() {
    local lines kept expected
    lines="$(grep -c '^Removing ' "$WINE_OUT" || true)"
    [ "$lines" -eq "$STALE" ] || { echo "device-walk: $1 printed $lines removal lines, not $STALE" >&2; exit 1; }
    wineserver -k && wineserver -w
    WINE_SENTINEL=""
    kept="$(sed -n 's/^\[.*\\\\Enum\\\\ROOT\\\\BENCH\\\\\([0-9]*\)\] .*/\1/p' "$WINEPREFIX/system.reg" | sort)"
    expected="$(for i in $(seq "$COUNT"); do is_stale "$i" || printf '%05d\n' "$i"; done)"
    [ "$kept" = "$expected" ] || {
        echo "device-walk: $1 left $(grep -c . <<<"$kept") devices, not the $((COUNT - STALE)) kept ones" >&2
        diff <(echo "$expected") <(echo "$kept") | head -5 >&2
        exit 1
    }
}

# time_run PROGRAM : milliseconds of one run from a fresh copy of the planted devices.
time_run() {
    local start end
    [ "$STALE" -eq 0 ] || restore_registry
    start="$(date +%s%N)"
    wine_run "$WORK" "$1"
    end="$(date +%s%N)"
    [ "$STALE" -eq 0 ] || check_removals "$1"
    echo "device-walk: $1: $(((end - start) / 1000000)) ms" >&2
    echo $(((end - start) / 1000000))
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

# medians PROGRAM... : the median of RUNS runs of each, the programs taking turns.
medians() {
    local -A times=()
    local program
    for _ in $(seq "$RUNS"); do
        for program in "$@"; do times[$program]+=" $(time_run "$program")"; done
    done
    for program in "$@"; do
        # shellcheck disable=SC2086
        median ${times[$program]}
    done
}

PROGRAMS=("$OSTRELLE")
[ -z "$OTHER" ] || PROGRAMS+=("$OTHER")
base=($(STALE=0 medians "${PROGRAMS[@]}"))
plant >"$WINE_TMP/bench.reg"
wine_reg_import "$WINE_TMP/bench.reg"
[ "$STALE" -eq 0 ] || save_registry
loaded=($(medians "${PROGRAMS[@]}"))
stale_note=""
[ "$STALE" -eq 0 ] || stale_note=", $STALE of them stale and each run removing exactly those"
for n in "${!PROGRAMS[@]}"; do
    echo "${PROGRAMS[$n]}: median of $RUNS runs under Wine ($EDITION): ${base[$n]} ms with" \
        "the prefix's own devices, ${loaded[$n]} ms with $COUNT more$stale_note"
    awk -v a="${base[$n]}" -v b="${loaded[$n]}" -v n="$COUNT" \
        'BEGIN { printf "  per planted device: %.1f us\n", (b - a) * 1000 / n }'
done
