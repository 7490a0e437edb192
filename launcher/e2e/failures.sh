#!/usr/bin/env bash
# Runs that stop early: no argument, missing source, the destination as its own source,
# a package without install.cmd, a single file while the Scripts folder is missing.
source "$(dirname "$0")/lib.sh" "$@"
launcher_prefix

run_launcher
expect_eq "no argument exits -3" -3 "$RC"
expect_eq "no argument log" "$(printf '%s\n' "Quillbeck Setup" "Expecting unzip temp directory name!")" "$(log_of)"

run_launcher 'C:\nope'
expect_eq "missing source exits -4" -4 "$RC"
expect_eq "missing source log starts with the three lines" "$(copy_head 'C:\nope')" "$(log_of | head -n 3)"
line="$(log_of | sed -n 4p)"
expect "missing source line carries the real error and the path ($line)" \
    grep -Eq "^Temp directory copy failed with code:(2|3)\('[^']+'\) 'examine source C:\\\\nope'$" <<<"$line"
expect_eq "missing source log has four lines" 4 "$(log_of | wc -l)"
expect "nothing staged for a missing source" test ! -e "$SCRIPTS"

mkdir -p "$SCRIPTS"
make_script "$SCRIPTS/install.cmd" existing
run_launcher 'C:\Windows\Setup\Scripts'
expect_eq "destination as source exits -4" -4 "$RC"
expect_eq "destination as source log starts with the three lines" \
    "$(copy_head 'C:\Windows\Setup\Scripts')" "$(log_of | head -n 3)"
line="$(log_of | sed -n 4p)"
expect "destination as source line names the same directory ($line)" \
    grep -Eq "^Temp directory copy failed with code:87\('[^']+'\) 'source and destination are the same directory C:\\\\Windows\\\\Setup\\\\Scripts'$" <<<"$line"
expect "destination as source launched nothing" no_script_ran

# No install.cmd anywhere: the shell fails, the error number is the real one and no error
# dialog is attempted (Wine's attempt at one would replace the error with 1400).
rm -rf "$SCRIPTS"
mkdir -p "$DRIVE_C/noscript/docs"
echo "readme" >"$DRIVE_C/noscript/docs/readme.txt"
WINEDEBUG=trace+exec,err+winediag run_launcher 'C:\noscript'
expect_eq "package without install.cmd exits -5" -5 "$RC"
expect_eq "package without install.cmd log" \
    "$(copy_head 'C:\noscript')
Succeeded in copying temp directory
Preparing to run C:\\Windows\\Setup\\Scripts\\install.cmd
C:\\Windows\\Setup\\Scripts\\install.cmd failed with error 2
Done :(" "$(log_of)"
request="$(grep -m1 'SHELL_execute mask=' "$WINE_ERR")"
# The window handle is null in either word size; Wine prints it as wide as a pointer.
expect "shell request: no-UI, no zone check, synchronous mask, runas, the script, no parameters or directory, hidden ($request)" \
    grep -Eq 'mask=0x00800500 hwnd=0+ verb=L"runas" file=L"C:\\\\Windows\\\\Setup\\\\Scripts\\\\install.cmd" parm=\(null\) dir=\(null\) show=0x00000000' <<<"$request"
after_launch() { sed -n '/SHELL_execute retval/,$p' "$WINE_ERR"; }
expect "the failed launch was traced" grep -q 'SHELL_execute retval' "$WINE_ERR"
expect "no error window attempted after the failed launch" bash -c '! grep -q CreateWindow' < <(after_launch)
expect "package copied before the failed launch" test -f "$SCRIPTS/docs/readme.txt"

# A single file while the Scripts folder is missing becomes the Scripts path itself, and
# the script inside it then cannot be started.
rm -rf "$SCRIPTS"
make_script "$DRIVE_C/single/install.cmd" single
run_launcher 'C:\single\install.cmd'
expect_eq "single file source exits -5" -5 "$RC"
expect "the file became the Scripts path" cmp -s "$DRIVE_C/single/install.cmd" "$SCRIPTS"
expect "single file log ends in the launch failure" \
    grep -Eq '^C:\\Windows\\Setup\\Scripts\\install.cmd failed with error [0-9]+$' <(log_of | sed -n 6p)
expect_eq "single file log ends with Done :(" "Done :(" "$(log_of | tail -n 1)"

# A single file while the Scripts folder exists goes into it under its own name.
rm -f "$SCRIPTS"
mkdir -p "$SCRIPTS"
run_launcher 'C:\single\install.cmd'
expect_eq "single file into existing Scripts exits 0" 0 "$RC"
expect_eq "single file staged and run" single "$(ran_marker)"

# "C:\Windows\Setup" itself missing: only the last component is ever created.
rm -rf "$SETUP"
run_launcher 'C:\noscript'
expect_eq "missing C:\Windows\Setup exits -4" -4 "$RC"
line="$(log_of | sed -n 4p)"
expect "missing C:\Windows\Setup: the failure names the folder ($line)" \
    grep -Eq "^Temp directory copy failed with code:3\('[^']+'\) 'create directory C:\\\\Windows\\\\Setup\\\\Scripts'$" <<<"$line"
expect "C:\Windows\Setup was not created" test ! -e "$SETUP"

finish
