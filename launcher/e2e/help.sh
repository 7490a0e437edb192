#!/usr/bin/env bash
# "/?" on the real launcher: the usage with the version on standard output, exit 0, and
# nothing else: the earlier log stays as it was, nothing is staged or started.
source "$(dirname "$0")/lib.sh" "$@"

VERSION="$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")"
launcher_prefix
mkdir -p "$(dirname "$LOG")" "$SCRIPTS"
printf 'log of an earlier run\r\n' >"$LOG"
touch -d '2020-01-01 00:00:00' "$LOG"
make_script "$SCRIPTS/install.cmd" staged-before
before="$(stat -c '%Y %s' "$LOG") $(ls -A "$SCRIPTS")"

for arg in '/?' '-h' '--help'; do
    run_launcher "$arg"
    out="$(tr -d '\r' <"$WINE_OUT")"
    expect_eq "[$arg] exit" 0 "$RC"
    expect_eq "[$arg] first line" "QuillbeckSetup $VERSION, setup launcher" "$(head -n1 <<<"$out")"
    expect_eq "[$arg] log and scripts folder untouched" "$before" \
        "$(stat -c '%Y %s' "$LOG") $(ls -A "$SCRIPTS")"
    expect "[$arg] no script started" no_script_ran
done

# Only a sole "/?" asks for help: as the source of a run with more arguments, it is a path
# that cannot exist, so the copy fails and the log says so.
run_launcher '/?' extra
expect_eq "[/? extra] exit" -4 "$RC"
expect_eq "[/? extra] log" "$(copy_head '/?')" "$(log_of | head -n 3)"

finish
