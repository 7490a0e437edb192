#!/usr/bin/env bash
# The typical run: a nested package merged into a Scripts folder that already holds an
# older install.cmd and other files; the new script really runs.
source "$(dirname "$0")/lib.sh" "$@"
launcher_prefix

mkdir -p "$SCRIPTS/drivers"
make_script "$SCRIPTS/install.cmd" old
echo "keep me" >"$SCRIPTS/unattend.xml"
echo "old driver" >"$SCRIPTS/drivers/old.inf"
echo "stale" >"$SCRIPTS/drivers/shared.inf"

PKG="$DRIVE_C/pkg"
# The script first records which command processor runs it, then its marker: the native
# one of the edition's own system (AMD64 for x64, x86 for the 32-bit edition on 32-bit
# Windows).
make_script "$PKG/install.cmd" new
printf '%s\r\n' '@echo off' 'echo %PROCESSOR_ARCHITECTURE%> C:\markers\%IMAGEPREP_RUN%.arch' |
    cat - "$PKG/install.cmd" >"$PKG/install.new" && mv "$PKG/install.new" "$PKG/install.cmd"
if [ "$EDITION" = x64 ]; then NATIVE_ARCH=AMD64; else NATIVE_ARCH=x86; fi
mkdir -p "$PKG/drivers/net/x86" "$PKG/tools/empty"
echo "fresh" >"$PKG/drivers/shared.inf"
echo "nic" >"$PKG/drivers/net/x86/nic.sys"
head -c 300000 /dev/urandom >"$PKG/tools/payload.bin"

run_launcher 'C:\pkg' extra 'and another'
expect_eq "typical run exits 0" 0 "$RC"
expect_eq "typical run log is the seven lines" "$(success_log 'C:\pkg')" "$(log_of)"
expect_eq "the new install.cmd ran" new "$(ran_marker)"
expect_eq "install.cmd ran in the native command processor" "$NATIVE_ARCH" \
    "$(tr -d '\r \n' <"$DRIVE_C/markers/$WINE_RUN_ID.arch" 2>/dev/null)"
expect "install.cmd was replaced" cmp -s "$PKG/install.cmd" "$SCRIPTS/install.cmd"
expect "nested file copied" cmp -s "$PKG/drivers/net/x86/nic.sys" "$SCRIPTS/drivers/net/x86/nic.sys"
expect "binary payload copied intact" cmp -s "$PKG/tools/payload.bin" "$SCRIPTS/tools/payload.bin"
expect "empty folder copied" test -d "$SCRIPTS/tools/empty"
expect_eq "existing file in a merged folder replaced" fresh "$(cat "$SCRIPTS/drivers/shared.inf")"
expect_eq "other files stay" "keep me" "$(cat "$SCRIPTS/unattend.xml")"
expect_eq "other files in merged folders stay" "old driver" "$(cat "$SCRIPTS/drivers/old.inf")"

# A second run truncates the log and stages over the first.
PKG2="$DRIVE_C/second"
make_script "$PKG2/install.cmd" second
run_launcher 'C:\second'
expect_eq "second run exits 0" 0 "$RC"
expect_eq "second run's log replaces the first" "$(success_log 'C:\second')" "$(log_of)"
expect_eq "second package's script ran" second "$(ran_marker)"

finish
