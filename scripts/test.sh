#!/usr/bin/env bash
# Runs every test: the host unit tests (plain, then under ASan and UBSan), clang-format and
# clang-tidy, then the end-to-end tests of the real programs of both editions (32-bit and
# native 64-bit) under Wine. On a host that runs 32-bit programs the x64 edition's Wine
# suites run a second time as a host without them would (WINE_HOST_RUNS_32BIT=no), so one
# run shows that both kinds of host give the x64 edition the same verdict.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1
source scripts/wine-lib.sh

passed=0
failed=0
skipped=0
status=0
skip_notes=()

# run_suite LABEL PRESET [CTEST ARGS...] : builds the preset's tree and runs its tests.
run_suite() {
    local label="$1" preset="$2" log
    shift 2
    log="$(mktemp)"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; } >"$log" 2>&1; then
        cat "$log"
        echo "build of preset $preset failed" >&2
        rm -f "$log"
        status=1
        failed=$((failed + 1))
        return
    fi
    ctest --preset "$preset" "$@" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    local line total bad skips
    line="$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -n1)"
    total="$(sed -n 's/.*out of \([0-9]*\).*/\1/p' <<<"$line")"
    bad="$(sed -n 's/.*tests passed, \([0-9]*\) tests\? failed.*/\1/p' <<<"$line")"
    if [ -z "$total" ]; then
        echo "preset $preset ran no test" >&2
        status=1
        failed=$((failed + 1))
    else
        skips="$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log")"
        passed=$((passed + total - bad - skips))
        failed=$((failed + bad))
        skipped=$((skipped + skips))
        [ "$skips" -eq 0 ] || skip_notes+=("$label: $(skip_reasons "$log" "build/$preset")")
    fi
    rm -f "$log"
}

# skip_reasons CTEST_OUTPUT BUILD_DIR : the tests ctest reported skipped, grouped by the
# reason each one printed ("SKIP: ...") in the tree's full test log.
skip_reasons() {
    python3 - "$1" "$2/Testing/Temporary/LastTest.log" <<'PY'
import re, sys
summary, full = (open(path, errors="replace").read() for path in sys.argv[1:3])
by_reason = {}
for name in re.findall(r"^\s*\d+ - (\S+) \(Skipped\)$", summary, re.M):
    section = re.search(r"^\d+/\d+ Test: %s$(.*?)^\"%s\" end time" % (re.escape(name), re.escape(name)),
                        full, re.M | re.S)
    reason = section and re.search(r"^SKIP: (.*)$", section.group(1), re.M)
    by_reason.setdefault(reason.group(1) if reason else "no reason printed", []).append(name)
print("; ".join("%d (%s): %s" % (len(names), ", ".join(sorted(names)), reason)
                for reason, names in sorted(by_reason.items())))
PY
}

run_suite host host
run_suite host-sanitize host-sanitize
run_suite windows windows
run_suite windows-x64 windows-x64
if [ "$WINE_HOST_RUNS_32BIT" = yes ]; then
    # The archive and the lint do not depend on the loader; they ran above.
    WINE_HOST_RUNS_32BIT=no WINE_HOST_32BIT_WHY= run_suite "windows-x64 as a 64-bit-only host" windows-x64 \
        -E '^(release_|lint_)'
else
    skip_notes+=("windows-x64 as a 64-bit-only host: not run twice, the run above was one")
fi

[ "$status" -eq 0 ] || [ "$failed" -gt 0 ] || failed=1
echo
if [ "$skipped" -gt 0 ]; then
    echo "total: $passed passed, $failed failed, $skipped skipped"
else
    echo "total: $passed passed, $failed failed"
fi
if [ ${#skip_notes[@]} -gt 0 ]; then
    echo "skipped: $(printf '%s | ' "${skip_notes[@]}" | sed 's/ | $//')"
fi
exit "$status"
