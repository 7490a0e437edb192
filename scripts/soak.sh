#!/usr/bin/env bash
# Finds flakes: runs the Wine suites of one edition N times back to back while every core is
# kept busy, then lists each failure with its check lines. Not part of the test command.
#   bash scripts/soak.sh [x64|x86] [RUNS]      (defaults: x64, 5)
# SOAK_BUSY=0 runs without the busy loops; SOAK_TESTS is the ctest -R pattern of the suites.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
EDITION="${1:-x64}"
RUNS="${2:-5}"
case "$EDITION" in
x64) PRESET=windows-x64 ;;
x86) PRESET=windows ;;
*)
    echo "usage: soak.sh [x64|x86] [RUNS]" >&2
    exit 2
    ;;
esac
TESTS="${SOAK_TESTS:-^((ostrelle|quillbeck)_e2e_|wine_probe_faults$)}"

if ! { cmake --preset "$PRESET" >/dev/null && cmake --build --preset "$PRESET" >/dev/null; }; then
    echo "soak: the $PRESET build failed" >&2
    exit 1
fi

LOGS="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-soak.XXXXXX")"
BUSY_PIDS=()
stop_busy() {
    local pid
    for pid in "${BUSY_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$LOGS"
}
trap stop_busy EXIT
# One spinning shell per core, each ending on its own after the longest the soak could
# take (every run at ctest's 900 s timeout per suite would be far beyond that).
if [ "${SOAK_BUSY:-1}" != 0 ]; then
    for _ in $(seq 1 "$(nproc)"); do
        timeout $((RUNS * 1800)) bash -c 'while :; do :; done' &
        BUSY_PIDS+=($!)
    done
    echo "soak: $EDITION, $RUNS runs, $(nproc) busy loops on $(nproc) cores"
else
    echo "soak: $EDITION, $RUNS runs, no busy loops"
fi

total_failed=0
started=$SECONDS
for run in $(seq 1 "$RUNS"); do
    began=$SECONDS
    log="$LOGS/run$run.log"
    ctest --preset "$PRESET" -R "$TESTS" --output-on-failure >"$log" 2>&1
    summary="$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -n 1)"
    skips="$(grep -cE '^[[:space:]]*[0-9]+/[0-9]+ Test +#[0-9]+: .* \*\*\*Skipped' "$log")"
    # Every test ctest lists as failed: a wrong verdict, a timeout or a crash.
    failed_tests="$(sed -n '/^The following tests FAILED:/,$s/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/\1/p' "$log")"
    echo "run $run: ${summary:-ctest gave no summary}; $skips skipped; $((SECONDS - began)) s"
    if [ -z "$summary" ]; then
        total_failed=$((total_failed + 1))
        tail -n 20 "$log" | sed 's/^/    /'
    fi
    for name in $failed_tests; do
        total_failed=$((total_failed + 1))
        echo "  FAILED $name:"
        # The failing test's own output, as ctest printed it: its check lines.
        sed -n "/Test *#[0-9]*: $name /,/^ *Start\|^[0-9]*% tests passed/p" "$log" |
            grep -E 'FAIL|could not run|wine: ' | sed 's/^/    /'
    done
done
echo "soak: $EDITION, $RUNS runs in $((SECONDS - started)) s, $total_failed failed suite runs"
[ "$total_failed" -eq 0 ]
