#!/usr/bin/env bash
# The setup log: fallback to "C:" with the note as first line when the folder chain cannot
# be made or leads elsewhere, no write through a planted link, the folders held and each
# handle's final path asked before the log is written, and a log held open by another
# process.
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

# The rights the launcher's folders really got, as Windows reports them, against a folder
# the probe makes with the descriptor they are made with. Only where Wine keeps security
# descriptors is that the descriptor itself; elsewhere it is what Wine makes of it.
LOG_FOLDER_RIGHTS='D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)'
# rights_of FOLDER [DESCRIPTOR] : RIGHTS is the probe's answer. Called in this shell: a
# probe that could not run ends the suite.
rights_of() {
    wine_file rights "$@"
    RIGHTS="$WINE_ANSWER"
}
rights_of 'C:\rights-control' "$LOG_FOLDER_RIGHTS"
control="$RIGHTS"
expect "the probe read the rights of a folder it made ($control)" grep -q '^rights D:' <<<"$control"
if [ "$control" != "rights $LOG_FOLDER_RIGHTS" ]; then
    echo "note: this Wine keeps no security descriptor here (made with $LOG_FOLDER_RIGHTS, the" \
        "folder reports ${control#rights }); the exact rights are checked through the port" \
        "(host test FoldersItMakesAreAskedForTheirOwnProtection)"
fi
for folder in 'C:\ProgramData\Orvane' 'C:\ProgramData\Orvane\Logs'; do
    rights_of "$folder"
    expect_eq "$folder has the rights of a folder made with the log folders' descriptor" \
        "$control" "$RIGHTS"
done

# The relay trace of a run that makes both folders: each is held, listable and shared for
# reading and writing but not deleting, until the log is open; the log's final path is
# asked before it is emptied or written.
rm -rf "$PROGRAM_DATA/Orvane"
WINEDEBUG=+relay,+file run_launcher
expect_eq "traced run without argument exits -3" -3 "$RC"
log_handle_order() {
    sed -n -E \
        -e 's/^([0-9a-f]+):Call KERNEL32\.CreateFileW\([0-9a-f]+ L"([^"]*)",([0-9a-f]+),([0-9a-f]+),.*/\1 open \2 \3 \4/p' \
        -e 's/^([0-9a-f]+):Ret  KERNEL32\.CreateFileW\(\) retval=([0-9a-f]+).*/\1 opened \2/p' \
        -e 's/^([0-9a-f]+):Call KERNEL32\.(GetFinalPathNameByHandleW|WriteFile|CloseHandle)\(([0-9a-f]+)[,)].*/\1 \2 \3/p' \
        -e 's/^([0-9a-f]+):Call KERNEL32\.SetFileInformationByHandle\(([0-9a-f]+),([0-9a-f]+),.*/\1 Set\3 \2/p' \
        "$1" | awk '
        function h(x) { sub(/^0+/, "", x); return x }
        $2 == "open" && tid == "" && $3 ~ /\\Orvane$/ { tid = $1 }
        $1 != tid { next }
        $2 == "open" {
            what = $3 ~ /\\Orvane$/ ? "Orvane" : $3 ~ /\\Logs$/ ? "Logs" : $3 ~ /QuillbeckSetup\.log$/ ? "log" : ""
            access = $4; share = $5; next }
        $2 == "opened" && what != "" && $3 !~ /^f+$/ {
            held[h($3)] = what
            print (what == "log" ? "open log" : "hold " what " access " access " share " share)
            what = ""; next }
        !(h($3) in held) { next }
        { name = held[h($3)] }
        $2 == "CloseHandle" { print "close " name; delete held[h($3)]; next }
        name != "log" { next }
        $2 == "GetFinalPathNameByHandleW" { print "final path of the log" }
        $2 == "Set00000006" { print "empty the log" }
        $2 == "Set00000004" { print "delete the log" }
        $2 == "WriteFile" && !wrote { print "first write to the log"; wrote = 1 }'
}
expect_eq "relay: folders held without delete sharing until the log is open; its final path asked first" \
    "$(printf '%s\n' 'hold Orvane access 00020081 share 00000003' \
        'hold Logs access 00020081 share 00000003' 'open log' 'final path of the log' \
        'empty the log' 'close Logs' 'close Orvane' 'first write to the log' 'close log')" \
    "$(log_handle_order "$WINE_ERR")"
expect "traced run: its log is byte for byte what it always was" \
    cmp -s <(printf 'Quillbeck Setup\r\nExpecting unzip temp directory name!\r\n') "$LOG"

# Windows compares names ignoring case, and so does the check of where a folder landed: an
# "orvane" made by another tool is the log's folder.
mv "$PROGRAM_DATA/Orvane" "$PROGRAM_DATA/orvane"
run_launcher 'C:\pkg'
expect_eq "a folder named in another case: the log is in it, without a note" \
    "$(success_log 'C:\pkg')" "$(log_of "$PROGRAM_DATA/orvane/Logs/QuillbeckSetup.log")"
expect "a folder named in another case: no fallback log" test ! -e "$FALLBACK"
mv "$PROGRAM_DATA/orvane" "$PROGRAM_DATA/Orvane"

# The launcher runs with more rights than whoever made a folder before it. "Logs" made a
# directory link to another folder: nothing is written there; the fallback log says why.
VICTIM="$DRIVE_C/victim"
mkdir -p "$VICTIM"
echo "precious" >"$VICTIM/precious.txt"
victim_state() { (cd "$VICTIM" && find . -printf '%p %s %T@\n' | sort && cat ./*); }
before="$(victim_state)"
rm -rf "$PROGRAM_DATA/Orvane/Logs"
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
rm -f "$PROGRAM_DATA/Orvane/Logs" "$FALLBACK"
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

# The log a file link: Wine follows it and shows it as an ordinary file. Only where the
# handle landed tells, and the file it leads to keeps its bytes.
ln -s "$VICTIM/victim.dat" "$LOG"
run_launcher 'C:\pkg'
expect_eq "the log is a file link: exit 0" 0 "$RC"
expect "the log is a file link: the file it leads to keeps its bytes" \
    cmp -s <(printf 'victim bytes\r\n') "$VICTIM/victim.dat"
note="$(log_of "$FALLBACK" | head -n 1)"
expect "the log is a file link: the fallback log's note names it ($note)" \
    grep -Eq "^Could not create 'C:\\\\ProgramData\\\\Orvane\\\\Logs\\\\QuillbeckSetup.log' code\(4395\) '[^']+'$" <<<"$note"
expect_eq "the log is a file link: the package ran" pkg "$(ran_marker)"
rm -f "$LOG" "$FALLBACK"

# Another process holds the log: the run goes on silently with the same exit code.
: >"$LOG"
hold_log_and_run() { WINE_HOLD='C:\ProgramData\Orvane\Logs\QuillbeckSetup.log' run_launcher "$@"; }
hold_log_and_run 'C:\pkg'
expect "the log was held while the launcher ran" grep -qx 'held C:.*QuillbeckSetup.log' <<<"$WINE_ANSWER"
expect_eq "held log: exit code unchanged" 0 "$RC"
expect_eq "held log: the package still ran" pkg "$(ran_marker)"
hold_log_and_run 'C:\nope'
expect_eq "held log: copy failure still exits -4" -4 "$RC"
expect_eq "held log: nothing was written to it" "" "$(log_of)"
expect "held log: no fallback file either" test ! -e "$FALLBACK"

finish
