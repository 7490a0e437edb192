# Shared by the launcher's end-to-end scripts. Usage in a script:
#   source "$(dirname "$0")/lib.sh" "$@"     # $1 QuillbeckSetup.exe, $2 the project version
set -uo pipefail

EXE="$1"
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

# A fresh prefix with the folder the launcher stages into ("C:\Windows\Setup" must exist)
# and the one where started scripts leave their markers.
launcher_prefix() {
    wine_prefix_new "$(wine_edition_arch)"
    DRIVE_C="$(wine_drive_c)"
    SETUP="$DRIVE_C/windows/Setup"
    SCRIPTS="$SETUP/Scripts"
    LOG="$DRIVE_C/ProgramData/Orvane/Logs/QuillbeckSetup.log"
    mkdir -p "$SETUP" "$DRIVE_C/markers"
}

# run_launcher ARGS... : runs the real program from drive C with ARGS exactly as given; RC is
# its full exit code. The runner returns once whatever the launcher started has ended too,
# the install.cmd it starts among them; WINE_ERR holds what the run wrote to standard error.
run_launcher() {
    wine_run "$DRIVE_C" "$EXE" "$@"
    RC="$WINE_RC"
}

# The log as text: CR removed (the file is written in text mode).
log_of() { tr -d '\r' <"${1:-$LOG}"; }

# make_script UNIXPATH MARKER_TEXT : an install.cmd that leaves MARKER_TEXT in a marker named
# for the run that started it (IMAGEPREP_RUN), written whole and then renamed into place.
make_script() {
    mkdir -p "$(dirname "$1")"
    printf '@echo off\r\necho %s> C:\\markers\\%%IMAGEPREP_RUN%%.part\r\n%s\r\n' "$2" \
        'move /y C:\markers\%IMAGEPREP_RUN%.part C:\markers\%IMAGEPREP_RUN%.ran >nul' >"$1"
}

# ran_marker : the marker the script started by the last run left, if it left one.
ran_marker() { tr -d '\r \n' <"$DRIVE_C/markers/$WINE_RUN_ID.ran" 2>/dev/null; }

# no_script_ran : true when the script of no run started by the last one left a marker.
no_script_ran() { test ! -e "$DRIVE_C/markers/$WINE_RUN_ID.ran"; }

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
