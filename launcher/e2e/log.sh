#!/usr/bin/env bash
# The setup log: fallback to "C:" with the note as first line when the folder chain cannot
# be made, and a log held open by another process.
source "$(dirname "$0")/lib.sh" "$@"
launcher_prefix

PKG="$DRIVE_C/pkg"
make_script "$PKG/install.cmd" pkg

# A file named "Orvane" counts as present (already exists), so "Logs" under it is what
# fails; the note names that path with the system's error number and text.
PROGRAM_DATA="$DRIVE_C/ProgramData"
rm -rf "$PROGRAM_DATA/Orvane"
echo "in the way" >"$PROGRAM_DATA/Orvane"
run_launcher 'C:\pkg'
FALLBACK="$DRIVE_C/QuillbeckSetup.log"
expect_eq "fallback run still exits 0" 0 "$RC"
expect "fallback log is in C:" test -f "$FALLBACK"
note="$(log_of "$FALLBACK" | head -n 1)"
expect "note is the first line, with real error and text ($note)" \
    grep -Eq "^Could not create 'C:\\\\ProgramData\\\\Orvane\\\\Logs' code\((3|267)\) '[^']+'$" <<<"$note"
expect_eq "the rest of the fallback log is the seven lines" "$(success_log 'C:\pkg')" \
    "$(log_of "$FALLBACK" | tail -n +2)"
expect_eq "the blocking file is untouched" "in the way" "$(cat "$PROGRAM_DATA/Orvane")"
expect_eq "the package still ran" pkg "$(ran_marker)"

# With the chain in place again the log goes back under ProgramData, without a note.
rm -f "$PROGRAM_DATA/Orvane" "$FALLBACK"
run_launcher 'C:\pkg'
expect_eq "chain created: log under ProgramData" "$(success_log 'C:\pkg')" "$(log_of)"
expect "no fallback log when the chain works" test ! -e "$FALLBACK"

# Another process holds the log: the run goes on silently with the same exit code.
rm -f "$DRIVE_C/ran.txt"
: >"$LOG"
hold_log_and_run() {
    local rcfile="$WINE_TMP/rc.$$"
    wine_run_in "$DRIVE_C" "$PROBE" hold-run 'C:\ProgramData\Orvane\Logs\QuillbeckSetup.log' \
        "$(winepath -w "$EXE" 2>/dev/null)" "$@" 3>"$rcfile" >"$WINE_TMP/holder.out"
    RC="$(cat "$rcfile")"
}
hold_log_and_run 'C:\pkg'
expect "the log was held while the launcher ran" grep -q '^held$' "$WINE_TMP/holder.out"
expect_eq "held log: exit code unchanged" 0 "$RC"
expect_eq "held log: the package still ran" pkg "$(ran_marker)"
hold_log_and_run 'C:\nope'
expect_eq "held log: copy failure still exits -4" -4 "$RC"
expect_eq "held log: nothing was written to it" "" "$(log_of)"
expect "held log: no fallback file either" test ! -e "$FALLBACK"

finish
