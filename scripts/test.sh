#!/usr/bin/env bash
# Runs every test: the host unit tests, then the end-to-end tests of the real
# programs of both editions (32-bit and native 64-bit) under Wine.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1

summary=()
status=0
skipped=0
run_suite() {
    local preset="$1" log
    log="$(mktemp)"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; } >"$log" 2>&1; then
        cat "$log"
        echo "build of preset $preset failed" >&2
        rm -f "$log"
        status=1
        return
    fi
    ctest --preset "$preset" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    summary+=("$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -n1)")
    skipped=$((skipped + $(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log")))
    rm -f "$log"
}

run_suite host
run_suite windows
run_suite windows-x64

passed=0
failed=0
for line in "${summary[@]}"; do
    total="$(sed -n 's/.*out of \([0-9]*\).*/\1/p' <<<"$line")"
    bad="$(sed -n 's/.*tests passed, \([0-9]*\) tests\? failed.*/\1/p' <<<"$line")"
    [ -n "$total" ] || continue
    passed=$((passed + total - bad))
    failed=$((failed + bad))
done
[ "$status" -eq 0 ] || [ "$failed" -gt 0 ] || failed=1
passed=$((passed - skipped))
echo
if [ "$skipped" -gt 0 ]; then
    echo "total: $passed passed, $failed failed, $skipped skipped"
else
    echo "total: $passed passed, $failed failed"
fi
exit "$status"
