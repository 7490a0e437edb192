#!/usr/bin/env bash
# The OperatingSystem code of the real program on each Windows version Wine
# can pretend to be, on a 32-bit and a 64-bit prefix. Both editions share the 64-bit
# prefix's table: on the same system they must give the same lines and codes.
set -uo pipefail
OSTRELLE="$1"
source "$(dirname "$0")/e2e-lib.sh"

# set_version NAME [BUILD] [PRODUCT]: Wine's version, then registry overrides.
set_version() {
    wine_set_version "$1"
    local reg="$WINE_TMP/version.reg"
    {
        printf 'REGEDIT4\r\n\r\n'
        if [ -n "${2:-}" ]; then
            printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\r\n'
            printf '"CurrentBuildNumber"="%s"\r\n"CurrentBuild"="%s"\r\n\r\n' "$2" "$2"
        fi
        if [ -n "${3:-}" ]; then
            printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ProductOptions]\r\n'
            printf '"ProductType"="%s"\r\n' "$3"
        fi
    } >"$reg"
    wine_reg_import "$reg"
}

# check VERSION BUILD PRODUCT CODE [KERNEL_LINE_PART]
check() {
    local what="$WINEARCH $1 build=${2:-default} ${3:-default}"
    set_version "$1" "$2" "$3"
    rm -f "$WORK/OSType.txt"
    run_client_in "$WORK"
    expect_eq "$what exit" 0 "$RC"
    expect_eq "$what code line" "OperatingSystem: $4" "$(grep '^OperatingSystem: ' <<<"$OUT")"
    expect_eq "$what file" "$4" "$(cat "$WORK/OSType.txt" 2>/dev/null)"
    if [ -n "${5:-}" ]; then
        grep -qF "$5" <<<"$OUT" && pass || fail "$what: no [$5] in output: $OUT"
    fi
}

WORK=""
prefix_for() {
    wine_prefix_new "$1"
    WORK="$WINE_TMP/work-$1"
    mkdir -p "$WORK"
}

cases_win32() {
    check winxp "" "" 1 "getOSType: osMajor 5, osMinor 1, wProductType 1, 32-bit"
    check win2003 "" "" 1 "osMajor 5, osMinor 2, wProductType 3"
    check vista "" "" 3
    check win2008 "" "" 3 "wProductType 3, 32-bit"
    check win7 "" "" 5 "getOSType: rtlOsMajor 6, rtlOsMinor 1, rtlwProductType 1, 64bit 0"
    check win2008r2 "" "" 9
    check win8 "" "" 7
    check win8 "" ServerNT 7
    check win81 "" "" 7 "getOSType: osMajor 6, osMinor 2, wProductType 1, 32-bit"
    check win81 10048 "" 7
    check win81 10049 "" 11
    check win10 "" "" 11 "getOSType: rtlOsMajor 10, rtlOsMinor 0"
    check win10 21999 "" 11
    check win10 22000 "" 17
    check win10 20348 ServerNT 0 "rtlwProductType 3, 64bit 0"
}

cases_win64() {
    check winxp64 "" "" 2 "64-bit"
    check win2003 "" "" 2
    check vista "" "" 4
    check win7 "" "" 6 "getOSType: rtlOsMajor 6, rtlOsMinor 1, rtlwProductType 1, 64bit 1"
    check win2008r2 "" "" 9 "wProductType 3, 64-bit"
    check win8 "" "" 8
    check win8 "" ServerNT 10
    check win81 "" "" 8
    check win81 "" ServerNT 10
    check win81 10048 "" 8
    check win81 10049 "" 12
    check win10 "" "" 12 "getOSType: osMajor 6, osMinor 2, wProductType 1, 64-bit"
    check win10 21999 "" 12
    check win10 22000 "" 17
    check win10 17762 ServerNT 13
    check win10 17763 ServerNT 15
    check win10 20323 ServerNT 15
    check win10 20324 ServerNT 16
}

for arch in $E2E_ARCHES; do
    prefix_for "$arch"
    "cases_$arch"
done

e2e_finish
