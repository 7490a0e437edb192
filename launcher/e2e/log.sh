#!/usr/bin/env bash
# The setup log: fallback to "C:" with the note as first line when the folder chain cannot
# be made or leads elsewhere, no write through a planted link, and a log held open by
# another process.
source "$(dirname "$0")/lib.sh" "$@"
launcher_prefix

PKG="$DRIVE_C/pkg"
make_script "$PKG/install.cmd" pkg

# A file named "Orvane" is no folder to log in: the note names it with the system's
# "directory name is invalid" (267) and its text.
PROGRAM_DATA="$DRIVE_C/ProgramData"
rm -rf "$PROGRAM_DATA/Orvane"
echo "in the way" >"$PROGRAM_DATA/Orvane"
run_launcher 'C:\pkg'
FALLBACK="$DRIVE_C/QuillbeckSetup.log"
expect_eq "fallback run still exits 0" 0 "$RC"
expect "fallback log is in C:" test -f "$FALLBACK"
note="$(log_of "$FALLBACK" | head -n 1)"
expect "note is the first line, with real error and text ($note)" \
    grep -Eq "^Could not create 'C:\\\\ProgramData\\\\Orvane' code\(267\) '[^']+'$" <<<"$note"
expect_eq "the rest of the fallback log is the seven lines" "$(success_log 'C:\pkg')" \
    "$(log_of "$FALLBACK" | tail -n +2)"
expect_eq "the blocking file is untouched" "in the way" "$(cat "$PROGRAM_DATA/Orvane")"
expect_eq "the package still ran" pkg "$(ran_marker)"

# With the chain in place again the log goes back under ProgramData, without a note.
rm -f "$PROGRAM_DATA/Orvane" "$FALLBACK"
run_launcher 'C:\pkg'
expect_eq "chain created: log under ProgramData" "$(success_log 'C:\pkg')" "$(log_of)"
expect "no fallback log when the chain works" test ! -e "$FALLBACK"
expect "an ordinary run's log is byte for byte what it always was (CR LF lines)" \
    cmp -s <(success_log 'C:\pkg' | sed 's/$/\r/') "$LOG"

# The launcher runs with more rights than whoever made a folder before it. "Logs" made a
# directory link to another folder: nothing is written there; the fallback log says why.
VICTIM="$DRIVE_C/victim"
mkdir -p "$VICTIM"
echo "precious" >"$VICTIM/precious.txt"
victim_state() { (cd "$VICTIM" && find . -printf '%p %s %T@\n' | sort && cat ./*); }
before="$(victim_state)"
rm -rf "$PROGRAM_DATA/Orvane/Logs" "$DRIVE_C/ran.txt"
ln -s "$VICTIM" "$PROGRAM_DATA/Orvane/Logs"
run_launcher 'C:\pkg'
expect_eq "Logs is a directory link: exit 0" 0 "$RC"
expect "Logs is a directory link: no log in the folder it leads to" \
    test ! -e "$VICTIM/QuillbeckSetup.log"
expect_eq "Logs is a directory link: nothing there changed" "$before" "$(victim_state)"
note="$(log_of "$FALLBACK" | head -n 1)"
expect "Logs is a directory link: the fallback log's note says so ($note)" \
    grep -Eq "^Could not create 'C:\\\\ProgramData\\\\Orvane\\\\Logs' code\(4395\) '[^']+'$" <<<"$note"
expect_eq "Logs is a directory link: then the seven lines" "$(success_log 'C:\pkg')" \
    "$(log_of "$FALLBACK" | tail -n +2)"
expect_eq "Logs is a directory link: the package was staged and ran" pkg "$(ran_marker)"

# The log a hard link to another file: that file keeps its bytes.
rm -f "$PROGRAM_DATA/Orvane/Logs" "$FALLBACK" "$DRIVE_C/ran.txt"
mkdir -p "$PROGRAM_DATA/Orvane/Logs"
printf 'victim bytes\r\n' >"$VICTIM/victim.dat"
ln "$VICTIM/victim.dat" "$LOG"
run_launcher 'C:\pkg'
expect_eq "the log is a hard link: exit 0" 0 "$RC"
expect "the log is a hard link: the other file keeps its bytes" \
    cmp -s <(printf 'victim bytes\r\n') "$VICTIM/victim.dat"
note="$(log_of "$FALLBACK" | head -n 1)"
expect "the log is a hard link: the fallback log's note names it ($note)" \
    grep -Eq "^Could not create 'C:\\\\ProgramData\\\\Orvane\\\\Logs\\\\QuillbeckSetup.log' code\(1142\) '[^']+'$" <<<"$note"
expect_eq "the log is a hard link: the package ran" pkg "$(ran_marker)"
rm -f "$LOG" "$FALLBACK"

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
