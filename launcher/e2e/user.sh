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
as_user wine wineboot -i >/dev/null 2>&1
as_user wineserver -w
DRIVE_C="$WINEPREFIX/drive_c"
SCRIPTS="$DRIVE_C/windows/Setup/Scripts"
LOG="$DRIVE_C/ProgramData/Orvane/Logs/QuillbeckSetup.log"
as_user mkdir -p "$DRIVE_C/windows/Setup"
# The programs must be readable by the user wherever the build put them.
cp "$EXE" "$USER_HOME/QuillbeckSetup.exe"
chmod 755 "$USER_HOME/QuillbeckSetup.exe"

# stage ARGS... : RC is the low byte of the exit code (0, or 252 for -4).
stage() {
    (cd "$DRIVE_C" && as_user wine "$USER_HOME/QuillbeckSetup.exe" "$@" </dev/null >/dev/null 2>&1)
    RC=$?
}
attributes_of() { as_user wine cmd /c attrib "$1" 2>/dev/null | tr -d '\r'; }

as_user mkdir -p "$DRIVE_C/pkg"
as_user sh -c "printf '@echo off\r\n' >'$DRIVE_C/pkg/install.cmd'"
as_user sh -c "printf 'version one' >'$DRIVE_C/pkg/ro.txt'; printf 'hidden one' >'$DRIVE_C/pkg/hidden.txt'"
as_user wine cmd /c attrib +r 'C:\pkg\ro.txt' >/dev/null 2>&1
as_user wine cmd /c attrib +h 'C:\pkg\hidden.txt' >/dev/null 2>&1
as_user sh -c "printf 'system one' >'$DRIVE_C/pkg/system.txt'"
as_user wine cmd /c attrib +s 'C:\pkg\system.txt' >/dev/null 2>&1
expect "the package's file is read-only for Windows ($(attributes_of 'C:\pkg\ro.txt'))" \
    grep -Eq 'R +C:' <(attributes_of 'C:\pkg\ro.txt')
expect "the package's file is hidden for Windows" grep -Eq 'H +C:' <(attributes_of 'C:\pkg\hidden.txt')

stage 'C:\pkg'
expect_eq "first staging exits 0" 0 "$RC"
expect "the staged copy is read-only too" grep -Eq 'R +C:' <(attributes_of 'C:\Windows\Setup\Scripts\ro.txt')
expect "the staged copy is hidden too" grep -Eq 'H +C:' <(attributes_of 'C:\Windows\Setup\Scripts\hidden.txt')
expect "the staged copy is a system file too ($(attributes_of 'C:\Windows\Setup\Scripts\system.txt'))" \
    grep -Eq '^.S +C:' <(attributes_of 'C:\Windows\Setup\Scripts\system.txt')
expect "an ordinary file stages with no attribute but archive" \
    grep -Eq '^A? +C:' <(attributes_of 'C:\Windows\Setup\Scripts\install.cmd')

# The package changes (read-only media keep their attributes) and is staged again.
as_user wine cmd /c attrib -r 'C:\pkg\ro.txt' >/dev/null 2>&1
as_user sh -c "printf 'version two' >'$DRIVE_C/pkg/ro.txt'; printf 'hidden two' >'$DRIVE_C/pkg/hidden.txt'"
as_user wine cmd /c attrib +r 'C:\pkg\ro.txt' >/dev/null 2>&1
stage 'C:\pkg'
expect_eq "second staging over read-only and hidden copies exits 0" 0 "$RC"
expect_eq "second staging logs success" "Succeeded in copying temp directory" "$(log_of | sed -n 4p)"
expect_eq "the read-only copy was replaced" "version two" "$(cat "$SCRIPTS/ro.txt")"
expect_eq "the hidden copy was replaced" "hidden two" "$(cat "$SCRIPTS/hidden.txt")"
expect "the replacing copy is read-only again" grep -Eq 'R +C:' <(attributes_of 'C:\Windows\Setup\Scripts\ro.txt')
expect "the replacing copy is hidden again" grep -Eq 'H +C:' <(attributes_of 'C:\Windows\Setup\Scripts\hidden.txt')

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
