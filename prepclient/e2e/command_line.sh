#!/usr/bin/env bash
# The real program's command-line rule, console output, result file and exit
# codes.
set -uo pipefail
OSTRELLE="$1"
source "$(dirname "$0")/e2e-lib.sh"

# Windows 7 in the edition's own prefix: the version lines and code follow the word size
# of the system, not of the program.
ARCH="$(wine_edition_arch)"
if [ "$ARCH" = win64 ]; then
    BITS_FLAG=1 BITS_TEXT=64-bit WIN7_CODE=6 XP_NAME=winxp64 XP_CODE=2
else
    BITS_FLAG=0 BITS_TEXT=32-bit WIN7_CODE=5 XP_NAME=winxp XP_CODE=1
fi
wine_prefix_new "$ARCH"
wine_set_version win7
WORK="$WINE_TMP/work"
mkdir -p "$WORK"

# A ghost adapter shows whether the device walk ran.
plant_ghost() {
    printf 'REGEDIT4\r\n\r\n[%s]\r\n"ClassGUID"="%s"\r\n\r\n[%s\\Properties\\%s\\000A]\r\n@=hex(ffff000d):%s\r\n' \
        'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\NET\0001' \
        '{4D36E972-E325-11CE-BFC1-08002BE10318}' \
        'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\NET\0001' \
        '{a45c254e-df1c-4efd-8020-67d146a850e0}' \
        '72,e9,36,4d,25,e3,ce,11,bf,c1,08,00,2b,e1,03,18' >"$WINE_TMP/ghost.reg"
    wine_reg_import "$WINE_TMP/ghost.reg"
}
ghost_present() { wine_reg_exists 'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\NET\0001'; }

EXPECTED_OUTPUT="getOSType: rtlOsMajor 6, rtlOsMinor 1, rtlwProductType 1, 64bit $BITS_FLAG
getOSType: osMajor 6, osMinor 1, wProductType 1, $BITS_TEXT
OperatingSystem: $WIN7_CODE
OSType.txt done"

# Two or more arguments: nothing at all happens.
plant_ghost
for args in "a b" "a b c"; do
    # shellcheck disable=SC2086
    run_client_in "$WORK" $args
    expect_eq "[$args] exit" 327681 "$RC"
    expect_eq "[$args] output" "" "$OUT"
    [ ! -e "$WORK/OSType.txt" ] && pass || fail "[$args] created OSType.txt"
    ghost_present && pass || fail "[$args] removed a device"
done

# No argument: the full run.
run_client_in "$WORK"
expect_eq "no argument exit" 0 "$RC"
expect_eq "no argument output" "Removing ghost NIC. devNodeInstallState=0x00000000 devNodeStatus=0x00000000 Name=
$EXPECTED_OUTPUT" "$OUT"
expect_eq "no argument file" "$WIN7_CODE" "$(cat "$WORK/OSType.txt")"
ghost_present && fail "ghost adapter not removed" || pass

# One argument: accepted, never opened, created or changed.
printf 'keep me' >"$WORK/errors.txt"
touch -d '2020-01-01 00:00:00' "$WORK/errors.txt"
before="$(stat -c '%Y %s' "$WORK/errors.txt")"
for arg in errors.txt missing-errors.txt 'C:\no such folder\errors.txt'; do
    run_client_in "$WORK" "$arg"
    expect_eq "[$arg] exit" 0 "$RC"
    expect_eq "[$arg] output" "$EXPECTED_OUTPUT" "$OUT"
done
expect_eq "argument file untouched" "$before" "$(stat -c '%Y %s' "$WORK/errors.txt")"
expect_eq "argument file content" "keep me" "$(cat "$WORK/errors.txt")"
[ ! -e "$WORK/missing-errors.txt" ] && pass || fail "argument file was created"

# Running again replaces the result: only the last code, no newline.
printf '12345678\n' >"$WORK/OSType.txt"
wine_set_version "$XP_NAME"
run_client_in "$WORK"
expect_eq "rerun file bytes" "$XP_CODE" "$(od -An -c "$WORK/OSType.txt" | tr -d ' ')"
run_client_in "$WORK"
expect_eq "output ends without newline" "done" "$(tail -c 4 "$WINE_OUT")"

# A current directory where the result file cannot be created.
BLOCKED="$WINE_TMP/blocked"
mkdir -p "$BLOCKED/OSType.txt"
run_client_in "$BLOCKED"
expect_eq "blocked exit" 0 "$RC"
expect_eq "blocked output" "OperatingSystem: $XP_CODE
OSType.txt done" "$(tail -n 2 <<<"$OUT")"
[ -d "$BLOCKED/OSType.txt" ] && pass || fail "blocked result path changed"

e2e_finish
