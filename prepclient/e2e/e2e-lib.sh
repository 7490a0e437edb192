# Assertions shared by the client's end-to-end scripts.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-lib.sh"

# The prefixes an edition is tested in: the 32-bit edition on 32-bit Windows and under
# WOW64, the native edition only where it can run.
if [ "$EDITION" = x64 ]; then E2E_ARCHES="win64"; else E2E_ARCHES="win32 win64"; fi

E2E_FAILURES=0
E2E_CHECKS=0

pass() { E2E_CHECKS=$((E2E_CHECKS + 1)); }
fail() {
    E2E_CHECKS=$((E2E_CHECKS + 1))
    E2E_FAILURES=$((E2E_FAILURES + 1))
    echo "FAIL: $*" >&2
}

# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
    if [ "$2" == "$3" ]; then pass; else fail "$1: expected [$2], got [$3]"; fi
}

# Runs Ostrelle in DIR; sets OUT (console text, CR removed) and RC (full exit code). The
# console bytes as written stay in $WINE_OUT. Runs in this shell, so a run the harness cannot
# vouch for ends the suite instead of leaving empty answers behind.
run_client_in() {
    local dir="$1"
    shift
    wine_run "$dir" "$OSTRELLE" "$@"
    OUT="$(tr -d '\r' <"$WINE_OUT")"
    RC="$WINE_RC"
}

e2e_finish() {
    echo "$(basename "$0"): $E2E_CHECKS checks, $E2E_FAILURES failed"
    [ "$E2E_FAILURES" -eq 0 ] && [ "$E2E_CHECKS" -gt 0 ] && wine_all_answered
}
