#!/usr/bin/env bash
# The real Wine suites under a stand-in loader that spoils a seeded share of the harness's
# Wine starts, one way per mode:
#   before  the start fails before anything of it runs (an error status, a message, a crash)
#   status  the start runs, and the loader's status is replaced by another
#   cut     the start runs, and its standard output is cut short
#   export  the start runs, and a registry export it wrote is cut short
#   kill    the start runs, and then the prefix's wineserver is killed, unsaved changes lost
#   hang    the start runs, and then the loader hangs
# The programs are right, so every suite must pass or end with "could not run"; a check that
# fails is a wrong verdict, and so is a suite that hangs. A crash row runs a suite on a
# stand-in program that does all its work and then crashes: no suite may pass there.
#   wine-faults.sh BUILD_DIR [SUITES [CRASH_SUITES]]
# SUITES and CRASH_SUITES are ctest name patterns of BUILD_DIR's suites. WINE_FAULT_SEEDS
# and WINE_FAULT_MODES choose the rounds (defaults: 7; every mode). WINE_FAULT_TREE names an
# older checkout to judge instead, with BUILD_DIR its own build: its loader path is pointed
# at the stand-in in place.
set -uo pipefail
BUILD="$(realpath "$1")"
SUITES="${2:-^(ostrelle_e2e_(command_line|devices)|quillbeck_e2e_(typical|failures))$}"
CRASH_SUITES="${3:-^(ostrelle_e2e_command_line|quillbeck_e2e_hostile)$}"
SEEDS="${WINE_FAULT_SEEDS:-7}"
MODES="${WINE_FAULT_MODES:-before status cut export kill hang}"
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-faults.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
if [ -n "${WINE_FAULT_TREE:-}" ]; then
    LIB="$WINE_FAULT_TREE/scripts/wine-lib.sh"
    cp "$LIB" "$WORK/wine-lib.sh"
    trap 'cp "$WORK/wine-lib.sh" "$LIB"; rm -rf "$WORK"' EXIT
    sed -i "s#/usr/lib/wine/wine\(64\)\{0,1\}\(\$\|[^a-z]\)#$WORK/wine\1\2#g" "$LIB"
    echo "judging the harness of $WINE_FAULT_TREE, its loader pointed at the stand-in until the end"
fi

# The stand-in, as wine and wine64: every start of the harness counts; one whose seeded hash
# is 0 modulo 8 is spoiled the way FAULT_MODE says. Starts made inside the prefix never come
# here (Wine starts its own processes by itself). Any user may run it (the user suite).
chmod 755 "$WORK"
cat >"$WORK/wine64" <<'EOF'
#!/usr/bin/env bash
faults="$(dirname "$0")"
real="/usr/lib/wine/$(basename "$0")"
[ "$FAULT_MODE" != none ] || exec "$real" "$@"
exec 9>>"$faults/lock"
flock 9
n=$(($(cat "$faults/count") + 1))
echo "$n" >"$faults/count"
exec 9>&-
hash=$(printf '%s:%s' "$FAULT_SEED" "$n" | cksum | cut -d' ' -f1)
[ $((hash % 8)) -eq 0 ] || exec "$real" "$@"
echo "$n $FAULT_MODE $*" >>"$faults/injected"
case "$FAULT_MODE" in
before)
    case $((hash / 8 % 3)) in
    0) exit 1 ;;
    1) echo "wine: the server did not answer" >&2; exit 1 ;;
    *) kill -SEGV $$ ;;
    esac ;;
status) "$real" "$@"; exit $((($? + 1 + hash / 8 % 250) % 256)) ;;
cut)
    out="$(mktemp)"
    "$real" "$@" >"$out"
    status=$?
    head -c $(($(stat -c %s "$out") * (hash / 8 % 100) / 100)) "$out"
    rm -f "$out"
    exit "$status" ;;
export)
    "$real" "$@"
    status=$?
    if [ "${1:-}" = reg ] && [ "${2:-}" = export ]; then
        file="$(sed 's#^[Zz]:##; s#\\#/#g' <<<"$4")"
        [ ! -f "$file" ] || truncate -s $(($(stat -c %s "$file") / 4 * 2)) "$file"
    fi
    exit "$status" ;;
kill) "$real" "$@"; status=$?; wineserver -k9; exit "$status" ;;
hang) "$real" "$@"; exec sleep 3600 ;;
*) exec "$real" "$@" ;;
esac
EOF
chmod 755 "$WORK/wine64"
ln -s wine64 "$WORK/wine"
: >"$WORK/injected"
echo 0 >"$WORK/count"
chmod 666 "$WORK/injected" "$WORK/count"

# suites PATTERN : each suite of BUILD matching PATTERN as one line: its name, its
# environment and its command, apart by tabs, the items of each apart by \x1f.
suites() {
    ctest --test-dir "$BUILD" -R "$1" --show-only=json-v1 | python3 -c '
import json, sys
for test in json.load(sys.stdin)["tests"]:
    env = [v for p in test.get("properties", []) if p["name"] == "ENVIRONMENT" for v in p["value"]]
    print("\t".join([test["name"], "\x1f".join(env), "\x1f".join(test["command"])]))'
}

# crash_copy PROGRAM : PROGRAM's name in a folder of its own, where the crashing stand-in
# (from BUILD, or from this tree's build for an older one) runs it.
CRASHER="$BUILD/probes/probe-crash-after.exe"
[ -f "$CRASHER" ] || CRASHER="$HERE/../build/windows-x64/probes/probe-crash-after.exe"
crash_copy() {
    local dir
    dir="$WORK/crash-$(basename "$1" .exe)"
    mkdir -p "$dir"
    cp "$1" "$dir/$(basename "$1" .exe).real.exe"
    cp "$CRASHER" "$dir/$(basename "$1")"
    chmod -R a+rX "$dir"
    echo "$dir/$(basename "$1")"
}

WRONG=0
ROWS=0
declare -A RUNS=() PASSED=() COULD_NOT=() BAD=()
# row KIND SEED MODE NAME ENV CMD : runs one suite; KIND is "right" or "crash".
row() {
    local kind="$1" seed="$2" mode="$3" name="$4" log="$WORK/row.log" env cmd status verdict
    IFS=$'\x1f' read -r -a env <<<"$5"
    IFS=$'\x1f' read -r -a cmd <<<"$6"
    if [ "$kind" = crash ]; then
        local i
        for i in "${!cmd[@]}"; do
            case "${cmd[$i]}" in */Ostrelle.exe | */QuillbeckSetup.exe) cmd[i]="$(crash_copy "${cmd[$i]}")" ;; esac
        done
    fi
    local before
    before="$(wc -l <"$WORK/injected")"
    (cd "$BUILD" && env "${env[@]}" WINE_LOADERS="$WORK" FAULT_MODE="$mode" FAULT_SEED="$seed" \
        WINE_START_LIMIT=60 timeout -k 10 300 "${cmd[@]}") >"$log" 2>&1
    status=$?
    local blamed
    blamed="$(grep '^FAIL: ' "$log" | grep -v '^FAIL: could not run: ' | head -n 3 | paste -sd '|')"
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        verdict="WRONG: hung"
    elif [ "$kind" = crash ] && [ "$status" -eq 0 ]; then
        verdict="WRONG: passed on a program that crashed"
    elif [ "$kind" = crash ]; then
        verdict="true: failed ($(grep -c '^FAIL: ' "$log") checks)"
    elif [ "$status" -eq 0 ]; then
        verdict="true: passed"
    elif [ -z "$blamed" ] && grep -q '^FAIL: could not run: ' "$log"; then
        verdict="could not run: $(grep -m1 '^FAIL: could not run: ' "$log" | cut -c 22-111)"
    else
        verdict="WRONG: ${blamed:-exit $status without a FAIL line}"
    fi
    local key="$kind $mode"
    RUNS[$key]=$((${RUNS[$key]:-0} + 1))
    case "$verdict" in
    true*) PASSED[$key]=$((${PASSED[$key]:-0} + 1)) ;;
    could*) COULD_NOT[$key]=$((${COULD_NOT[$key]:-0} + 1)) ;;
    *) BAD[$key]=$((${BAD[$key]:-0} + 1)); WRONG=$((WRONG + 1)); sed 's/^/    /' <(grep -E 'FAIL|could not' "$log" | head -n 5) >&2 ;;
    esac
    ROWS=$((ROWS + 1))
    printf 'seed %s %-6s %-5s %-28s %d spoiled: %s\n' "$seed" "$mode" "$kind" "$name" \
        $(($(wc -l <"$WORK/injected") - before)) "$verdict"
}

mapfile -t RIGHT < <(suites "$SUITES")
mapfile -t CRASH < <(suites "$CRASH_SUITES")
[ ${#RIGHT[@]} -gt 0 ] || { echo "FAIL: no suite matches $SUITES in $BUILD" >&2; exit 1; }
for seed in $SEEDS; do
    for mode in $MODES; do
        for line in "${RIGHT[@]}"; do
            IFS=$'\t' read -r name env cmd <<<"$line"
            row right "$seed" "$mode" "$name" "$env" "$cmd"
        done
    done
    for mode in none status; do
        for line in "${CRASH[@]}"; do
            IFS=$'\t' read -r name env cmd <<<"$line"
            row crash "$seed" "$mode" "$name" "$env" "$cmd"
        done
    done
done

echo
for key in $(printf '%s\n' "${!RUNS[@]}" | tr ' ' ':' | sort); do
    key="${key/:/ }"
    printf '%-14s %3d runs: %3d true, %3d could not run, %3d wrong\n' "$key" "${RUNS[$key]}" \
        "${PASSED[$key]:-0}" "${COULD_NOT[$key]:-0}" "${BAD[$key]:-0}"
done
echo "seeds $SEEDS: $ROWS suite runs, $(cat "$WORK/count") Wine starts, $(wc -l <"$WORK/injected") spoiled; $WRONG wrong"
# A table whose stand-in spoiled nothing proved nothing.
[ "$(wc -l <"$WORK/injected")" -gt 0 ] || { echo "FAIL: the stand-in spoiled no start" >&2; exit 1; }
[ "$WRONG" -eq 0 ]
