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
# Every Wine start of the harness runs as the user, in a prefix and a folder the user owns.
WINE_AS_USER="$USER_NAME"
launcher_prefix
chown -R "$USER_NAME" "$DRIVE_C/windows/Setup" "$DRIVE_C/markers"
as_user() { runuser -u "$USER_NAME" -- "$@"; }
# The program must be readable by the user wherever the build put it.
cp "$EXE" "$WINE_TMP/QuillbeckSetup.exe"
chmod a+r "$WINE_TMP/QuillbeckSetup.exe"
EXE="$WINE_TMP/QuillbeckSetup.exe"

# stage ARGS... : RC is the exit code (0, or -4).
stage() { run_launcher "$@"; }
# attrib PATH [+r|-r|+h|-h|+s|-s]... : changes and then reads the attributes as the user;
# ATTRIBUTES is what Windows reports, as letters (RHSDA, - for each one not set). A change
# Windows refused is a premise that does not hold: the suite ends.
attrib() {
    wine_file attributes "$@"
    ATTRIBUTES="$(sed -n 's/^attributes 0x[0-9A-F]* //p' <<<"$WINE_ANSWER")"
    [ -n "$ATTRIBUTES" ] || wine_could_not_run "attributes $*" "$WINE_ANSWER"
}

as_user mkdir -p "$DRIVE_C/pkg"
as_user sh -c "printf '@echo off\r\n' >'$DRIVE_C/pkg/install.cmd'"
as_user sh -c "printf 'version one' >'$DRIVE_C/pkg/ro.txt'; printf 'hidden one' >'$DRIVE_C/pkg/hidden.txt'"
as_user sh -c "printf 'system one' >'$DRIVE_C/pkg/system.txt'"
attrib 'C:\pkg\ro.txt' +r
expect "the package's file is read-only for Windows ($ATTRIBUTES)" grep -q '^R' <<<"$ATTRIBUTES"
attrib 'C:\pkg\hidden.txt' +h
expect "the package's file is hidden for Windows ($ATTRIBUTES)" grep -q '^.H' <<<"$ATTRIBUTES"
attrib 'C:\pkg\system.txt' +s
expect "the package's file is a system file for Windows ($ATTRIBUTES)" grep -q '^..S' <<<"$ATTRIBUTES"

stage 'C:\pkg'
expect_eq "first staging exits 0" 0 "$RC"
attrib 'C:\Windows\Setup\Scripts\ro.txt'
expect "the staged copy is read-only too ($ATTRIBUTES)" grep -q '^R' <<<"$ATTRIBUTES"
attrib 'C:\Windows\Setup\Scripts\hidden.txt'
expect "the staged copy is hidden too ($ATTRIBUTES)" grep -q '^.H' <<<"$ATTRIBUTES"
attrib 'C:\Windows\Setup\Scripts\system.txt'
expect "the staged copy is a system file too ($ATTRIBUTES)" grep -q '^..S' <<<"$ATTRIBUTES"
attrib 'C:\Windows\Setup\Scripts\install.cmd'
expect "an ordinary file stages with no attribute but archive ($ATTRIBUTES)" grep -qx -- '----[A-]' <<<"$ATTRIBUTES"

# The package changes (read-only media keep their attributes) and is staged again.
attrib 'C:\pkg\ro.txt' -r
as_user sh -c "printf 'version two' >'$DRIVE_C/pkg/ro.txt'; printf 'hidden two' >'$DRIVE_C/pkg/hidden.txt'"
attrib 'C:\pkg\ro.txt' +r
stage 'C:\pkg'
expect_eq "second staging over read-only and hidden copies exits 0" 0 "$RC"
expect_eq "second staging logs success" "Succeeded in copying temp directory" "$(log_of | sed -n 4p)"
expect_eq "the read-only copy was replaced" "version two" "$(cat "$SCRIPTS/ro.txt")"
expect_eq "the hidden copy was replaced" "hidden two" "$(cat "$SCRIPTS/hidden.txt")"
attrib 'C:\Windows\Setup\Scripts\ro.txt'
expect "the replacing copy is read-only again ($ATTRIBUTES)" grep -q '^R' <<<"$ATTRIBUTES"
attrib 'C:\Windows\Setup\Scripts\hidden.txt'
expect "the replacing copy is hidden again ($ATTRIBUTES)" grep -q '^.H' <<<"$ATTRIBUTES"

# A destination file that stays read-only whatever the user does (another owner's) is
# still a copy failure.
as_user mkdir -p "$DRIVE_C/locked/sub"
as_user sh -c "printf new >'$DRIVE_C/locked/sub/f.txt'"
as_user mkdir -p "$SCRIPTS/sub"
printf old >"$SCRIPTS/sub/f.txt"
chmod 444 "$SCRIPTS/sub/f.txt"
stage 'C:\locked'
expect_eq "an irreplaceable destination file exits -4" -4 "$RC"
expect "its failure names the file copy" \
    grep -Eq "^Temp directory copy failed with code:[0-9]+\('[^']+'\) 'copy file C:\\\\locked\\\\sub\\\\f.txt to C:\\\\Windows\\\\Setup\\\\Scripts\\\\sub\\\\f.txt'$" <(log_of | sed -n 4p)
expect_eq "the irreplaceable file kept its content" old "$(cat "$SCRIPTS/sub/f.txt")"

# A package folder nobody may list fails the copy instead of staging it empty.
as_user mkdir -p "$DRIVE_C/closed/inner"
as_user sh -c "printf x >'$DRIVE_C/closed/inner/x.txt'"
chmod 000 "$DRIVE_C/closed/inner"
stage 'C:\closed'
chmod 755 "$DRIVE_C/closed/inner"
expect_eq "an unlistable package folder exits -4" -4 "$RC"
# The loop check reads the folder's identity before it is listed, and a folder closed to
# us fails there already; either way the copy stops at that folder.
expect "its failure names the closed folder ($(log_of | sed -n 4p))" \
    grep -Eq "^Temp directory copy failed with code:5\('[^']+'\) '(list directory|read the identity of) C:\\\\closed\\\\inner'$" <(log_of | sed -n 4p)
expect "nothing of the unlistable folder was staged" test ! -e "$SCRIPTS/inner/x.txt"

finish
