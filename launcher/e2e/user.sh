#!/usr/bin/env bash
# Runs as an ordinary user, where the file system really refuses what root may do: staging
# a package with read-only and hidden files twice, and a package folder nobody may list.
source "$(dirname "$0")/lib.sh" "$@"
wine_require "$(wine_edition_arch)"
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: making the ordinary test user needs root"
    exit "$WINE_SKIP"
fi

USER_NAME=imageprep-wine
id -u "$USER_NAME" >/dev/null 2>&1 || useradd --no-create-home --shell /usr/sbin/nologin "$USER_NAME"
USER_HOME="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-user.XXXXXX")"
chown "$USER_NAME" "$USER_HOME"
chmod 700 "$USER_HOME"
cleanup_user() {
    as_user wineserver -k >/dev/null 2>&1
    rm -rf "$USER_HOME"
}
trap cleanup_user EXIT

# runuser cannot see wine-lib.sh's shell functions: name the loader itself.
LOADER="$(wine_loader_for "$(wine_edition_arch)")"
export WINEPREFIX="$USER_HOME/prefix"
as_user() {
    local tool="$1"
    shift
    case "$tool" in
    wine) tool="$LOADER" ;;
    wineserver) tool=/usr/lib/wine/wineserver ;;
    esac
    runuser -u "$USER_NAME" -- env -i PATH="$PATH" HOME="$USER_HOME" USER="$USER_NAME" \
        WINEPREFIX="$WINEPREFIX" WINEARCH="$(wine_edition_arch)" WINEDEBUG=-all \
        WINELOADER="$LOADER" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" LANG=C.UTF-8 "$tool" "$@"
}
# The probes of wine-lib.sh, run as the user: a Wine start that does not run is tried
# again, and one that never runs ends the suite with its "could not run" line.
USER_TMP="$USER_HOME/tmp"
cp "$(dirname "$0")/../../scripts/wine-lib.sh" "$USER_HOME/wine-lib.sh"
as_user mkdir -p "$USER_TMP"
# as_user_lib FUNCTION ARGS... : a wine-lib.sh function as the user; WINE_RC lands in
# $USER_TMP/rc. Called in this shell: a probe that could not run ends the suite here too.
as_user_lib() {
    rm -f "$USER_TMP/rc"
    runuser -u "$USER_NAME" -- env -i PATH="$PATH" HOME="$USER_HOME" USER="$USER_NAME" \
        WINEPREFIX="$WINEPREFIX" WINEARCH="$(wine_edition_arch)" IMAGEPREP_EDITION="$EDITION" \
        WINE_HOST_RUNS_32BIT="$WINE_HOST_RUNS_32BIT" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" \
        LANG=C.UTF-8 bash -c 'source "$1"; WINE_TMP="$2"; shift 2; "$@" && echo "${WINE_RC:-}" >"$WINE_TMP/rc"' \
        _ "$USER_HOME/wine-lib.sh" "$USER_TMP" "$@" || exit 1
}

for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
    as_user wine wineboot -i >/dev/null 2>&1
    as_user wineserver -w
    [ -s "$WINEPREFIX/system.reg" ] && break
    [ "$attempt" -lt "$WINE_PROBE_ATTEMPTS" ] || wine_could_not_run "wineboot -i as $USER_NAME" "no registry was written"
    as_user wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
    wine_retry_pause "$attempt" "wineboot did not make the prefix"
done
DRIVE_C="$WINEPREFIX/drive_c"
SCRIPTS="$DRIVE_C/windows/Setup/Scripts"
LOG="$DRIVE_C/ProgramData/Orvane/Logs/QuillbeckSetup.log"
as_user mkdir -p "$DRIVE_C/windows/Setup"
# The programs must be readable by the user wherever the build put them.
cp "$EXE" "$USER_HOME/QuillbeckSetup.exe"
chmod 755 "$USER_HOME/QuillbeckSetup.exe"

# stage ARGS... : RC is the low byte of the exit code (0, or 252 for -4).
stage() {
    as_user_lib wine_run_direct "$DRIVE_C" "$USER_HOME/QuillbeckSetup.exe" "$@"
    RC="$(cat "$USER_TMP/rc")"
}
# attrib ARGS... : Wine's attrib as the user; its output lands in ATTRIBUTES.
attrib() {
    as_user_lib wine_run_in "$DRIVE_C" "$DRIVE_C/windows/system32/attrib.exe" "$@" 3>/dev/null \
        >"$USER_TMP/attrib.out"
    ATTRIBUTES="$(cat "$USER_TMP/attrib.out")"
}

as_user mkdir -p "$DRIVE_C/pkg"
as_user sh -c "printf '@echo off\r\n' >'$DRIVE_C/pkg/install.cmd'"
as_user sh -c "printf 'version one' >'$DRIVE_C/pkg/ro.txt'; printf 'hidden one' >'$DRIVE_C/pkg/hidden.txt'"
attrib +r 'C:\pkg\ro.txt'
attrib +h 'C:\pkg\hidden.txt'
as_user sh -c "printf 'system one' >'$DRIVE_C/pkg/system.txt'"
attrib +s 'C:\pkg\system.txt'
attrib 'C:\pkg\ro.txt'
expect "the package's file is read-only for Windows ($ATTRIBUTES)" grep -Eq 'R +C:' <<<"$ATTRIBUTES"
attrib 'C:\pkg\hidden.txt'
expect "the package's file is hidden for Windows" grep -Eq 'H +C:' <<<"$ATTRIBUTES"

stage 'C:\pkg'
expect_eq "first staging exits 0" 0 "$RC"
attrib 'C:\Windows\Setup\Scripts\ro.txt'
expect "the staged copy is read-only too" grep -Eq 'R +C:' <<<"$ATTRIBUTES"
attrib 'C:\Windows\Setup\Scripts\hidden.txt'
expect "the staged copy is hidden too" grep -Eq 'H +C:' <<<"$ATTRIBUTES"
attrib 'C:\Windows\Setup\Scripts\system.txt'
expect "the staged copy is a system file too ($ATTRIBUTES)" grep -Eq '^.S +C:' <<<"$ATTRIBUTES"
attrib 'C:\Windows\Setup\Scripts\install.cmd'
expect "an ordinary file stages with no attribute but archive ($ATTRIBUTES)" grep -Eq '^A? +C:' <<<"$ATTRIBUTES"

# The package changes (read-only media keep their attributes) and is staged again.
attrib -r 'C:\pkg\ro.txt'
as_user sh -c "printf 'version two' >'$DRIVE_C/pkg/ro.txt'; printf 'hidden two' >'$DRIVE_C/pkg/hidden.txt'"
attrib +r 'C:\pkg\ro.txt'
stage 'C:\pkg'
expect_eq "second staging over read-only and hidden copies exits 0" 0 "$RC"
expect_eq "second staging logs success" "Succeeded in copying temp directory" "$(log_of | sed -n 4p)"
expect_eq "the read-only copy was replaced" "version two" "$(cat "$SCRIPTS/ro.txt")"
expect_eq "the hidden copy was replaced" "hidden two" "$(cat "$SCRIPTS/hidden.txt")"
attrib 'C:\Windows\Setup\Scripts\ro.txt'
expect "the replacing copy is read-only again" grep -Eq 'R +C:' <<<"$ATTRIBUTES"
attrib 'C:\Windows\Setup\Scripts\hidden.txt'
expect "the replacing copy is hidden again" grep -Eq 'H +C:' <<<"$ATTRIBUTES"

# A destination file that stays read-only whatever the user does (another owner's) is
# still a copy failure.
as_user mkdir -p "$DRIVE_C/locked/sub"
as_user sh -c "printf new >'$DRIVE_C/locked/sub/f.txt'"
as_user mkdir -p "$SCRIPTS/sub"
printf old >"$SCRIPTS/sub/f.txt"
chmod 444 "$SCRIPTS/sub/f.txt"
stage 'C:\locked'
expect_eq "an irreplaceable destination file exits -4" 252 "$RC"
expect "its failure names the file copy" \
    grep -Eq "^Temp directory copy failed with code:[0-9]+\('[^']+'\) 'copy file C:\\\\locked\\\\sub\\\\f.txt to C:\\\\Windows\\\\Setup\\\\Scripts\\\\sub\\\\f.txt'$" <(log_of | sed -n 4p)
expect_eq "the irreplaceable file kept its content" old "$(cat "$SCRIPTS/sub/f.txt")"

# A package folder nobody may list fails the copy instead of staging it empty.
as_user mkdir -p "$DRIVE_C/closed/inner"
as_user sh -c "printf x >'$DRIVE_C/closed/inner/x.txt'"
chmod 000 "$DRIVE_C/closed/inner"
stage 'C:\closed'
chmod 755 "$DRIVE_C/closed/inner"
expect_eq "an unlistable package folder exits -4" 252 "$RC"
# The loop check reads the folder's identity before it is listed, and a folder closed to
# us fails there already; either way the copy stops at that folder.
expect "its failure names the closed folder ($(log_of | sed -n 4p))" \
    grep -Eq "^Temp directory copy failed with code:5\('[^']+'\) '(list directory|read the identity of) C:\\\\closed\\\\inner'$" <(log_of | sed -n 4p)
expect "nothing of the unlistable folder was staged" test ! -e "$SCRIPTS/inner/x.txt"

finish
