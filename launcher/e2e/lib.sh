# Shared by the launcher's end-to-end scripts. Usage in a script:
#   source "$(dirname "$0")/lib.sh" "$@"     # $1 QuillbeckSetup.exe, $2 probe helper
set -uo pipefail

EXE="$1"
PROBE="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-lib.sh"

FAILURES=0
pass() { echo "ok: $1"; }
fail() {
    echo "FAIL: $1"
    FAILURES=$((FAILURES + 1))
}

# expect_eq DESCRIPTION EXPECTED ACTUAL
expect_eq() {
    if [ "$2" == "$3" ]; then
        pass "$1"
    else
        fail "$1"
        diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/    /'
    fi
}

# expect DESCRIPTION COMMAND... : the command must succeed.
expect() {
    local what="$1"
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

finish() {
    wine_all_answered || FAILURES=$((FAILURES + 1))
    if [ "$FAILURES" -eq 0 ]; then
        echo "all checks passed"
        exit 0
    fi
    echo "$FAILURES check(s) failed"
    exit 1
}

# A fresh prefix with the folder the launcher stages into ("C:\Windows\Setup" must exist).
launcher_prefix() {
    wine_prefix_new "$(wine_edition_arch)"
    DRIVE_C="$(wine_drive_c)"
    SETUP="$DRIVE_C/windows/Setup"
    SCRIPTS="$SETUP/Scripts"
    LOG="$DRIVE_C/ProgramData/Orvane/Logs/QuillbeckSetup.log"
    mkdir -p "$SETUP"
}

# run_launcher ARGS... : runs the real program from drive C; sets RC to its full exit code.
# Like the launcher, this does not wait for the script it starts (see ran_marker).
run_launcher() {
    local rcfile="$WINE_TMP/rc.$$"
    wine_run_in "$DRIVE_C" "$EXE" "$@" 3>"$rcfile" >/dev/null
    RC="$(cat "$rcfile")"
    rm -f "$rcfile"
}

# run_direct ARGS... : runs the program without cmd in between, for arguments cmd would
# mangle; RC is the low byte of the exit code (-3 253, -4 252, -5 251). Wine's stderr goes
# to $WINE_TMP/stderr.
run_direct() {
    wine_run_direct "$DRIVE_C" "$EXE" "$@"
    RC="$WINE_RC"
    cp "$WINE_TMP/direct.err" "$WINE_TMP/stderr"
}

# The log as text: CR removed (the file is written in text mode).
log_of() { tr -d '\r' <"${1:-$LOG}"; }

# make_script UNIXPATH MARKER_TEXT : an install.cmd that leaves C:\ran.txt behind.
make_script() {
    mkdir -p "$(dirname "$1")"
    printf '@echo off\r\necho %s> C:\\ran.txt\r\n' "$2" >"$1"
}

# The launcher does not wait for the script it starts. Whether one was started shows once
# everything the run started has ended.
# no_script_ran : true when the prefix settled and no install.cmd left a marker.
no_script_ran() {
    wine_wait_settled && test ! -e "$DRIVE_C/ran.txt"
}

# ran_marker : the marker the started script left, as soon as it is there (or once the
# prefix settled without it).
ran_marker() {
    wine_wait_file "$DRIVE_C/ran.txt"
    tr -d '\r \n' <"$DRIVE_C/ran.txt" 2>/dev/null
}

# The seven lines of a successful run.
success_log() {
    printf '%s\n' "Quillbeck Setup" \
        "Unzipped temp directory to '$1'" \
        "Preparing to copy temp directory from '$1' to 'C:\\Windows\\Setup\\Scripts'" \
        "Succeeded in copying temp directory" \
        "Preparing to run C:\\Windows\\Setup\\Scripts\\install.cmd" \
        "Succeeded in running C:\\Windows\\Setup\\Scripts\\install.cmd" \
        "Done!"
}

# The three lines every run with a source starts with.
copy_head() {
    printf '%s\n' "Quillbeck Setup" \
        "Unzipped temp directory to '$1'" \
        "Preparing to copy temp directory from '$1' to 'C:\\Windows\\Setup\\Scripts'"
}
