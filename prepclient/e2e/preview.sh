#!/usr/bin/env bash
# "/whatif" and "/?" on the real program: a preview names every planted stale device and
# removes none, help prints the usage and does nothing else, and neither writes
# OSType.txt.
set -uo pipefail
OSTRELLE="$1"
source "$(dirname "$0")/e2e-lib.sh"
source "$(dirname "$0")/plant-lib.sh"

VERSION="$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")"
STALE=('ROOT\NET\0002' 'ROOT\NET\0003' 'ROOT\DISKDRIVE\0001')
KEPT=('ROOT\NET\0001')

stale_reg() {
    plant_device 'ROOT\NET\0001' "$NET_GUID_TEXT" "$NET_GUID" '\Device\00000042' 0 'Present NIC'
    plant_ghost_nic 'ROOT\NET\0002' 'Ghost NIC'
    plant_ghost_nic 'ROOT\NET\0003' 'Broken ghost NIC' 2
    plant_device 'ROOT\DISKDRIVE\0001' "$DISK_GUID_TEXT" "$DISK_GUID" '\Device\00000044' 2 \
        'Broken disk'
}
plant_stale() { plant_import stale_reg; }

# all_planted WHAT : every planted instance is still there.
all_planted() {
    local id
    for id in "${STALE[@]}" "${KEPT[@]}"; do
        instance_exists "$id" && pass || fail "$1: $id was removed"
    done
}

# A result file from an earlier run, with a fixed date, must survive byte for byte.
plant_result_file() {
    printf '12' >"$WORK/OSType.txt"
    touch -d '2020-01-01 00:00:00' "$WORK/OSType.txt"
}
result_file_kept() {
    expect_eq "$1: OSType.txt" "12 1577836800" "$(cat "$WORK/OSType.txt") $(stat -c %Y "$WORK/OSType.txt")"
}

ARCH="$(wine_edition_arch)"
# Windows 10 workstation: the code follows the word size of the system.
if [ "$ARCH" = win64 ]; then WIN10_CODE=12; else WIN10_CODE=11; fi
wine_prefix_new "$ARCH"
wine_set_version win10
WORK="$WINE_TMP/work"
mkdir -p "$WORK"
plant_stale

EXPECTED_PREVIEW="$(printf 'What if: %s\n' \
    "$(removal_line 'device that failed install.' 2 'Broken ghost NIC')" \
    "$(removal_line 'ghost NIC.' 2 'Broken ghost NIC')" \
    "$(removal_line 'ghost NIC.' 0 'Ghost NIC')" \
    "$(removal_line 'device that failed install.' 2 'Broken disk')" | sort)"

# Help: the usage with the version, nothing else, whatever the spelling.
plant_result_file
for arg in '/?' '-h' '--help'; do
    run_client_in "$WORK" "$arg"
    expect_eq "[$arg] exit" 0 "$RC"
    expect_eq "[$arg] first line" "Ostrelle $VERSION, image preparation client" "$(head -n1 <<<"$OUT")"
    expect_eq "[$arg] mentions the preview" 1 "$(grep -c '/whatif' <<<"$OUT" | head -c1)"
    expect_eq "[$arg] no run output" 0 "$(grep -c -e '^Removing' -e '^getOSType' -e '^OperatingSystem' <<<"$OUT")"
    all_planted "[$arg]"
    result_file_kept "[$arg]"
done
# Help only as the sole argument: with another one the count rule stands.
run_client_in "$WORK" '/?' errors.txt
expect_eq "[/? errors.txt] exit" 327681 "$RC"
expect_eq "[/? errors.txt] output" "" "$OUT"
all_planted "[/? errors.txt]"

# Preview, in any case: the lines a real run would print, prefixed; nothing removed.
rm -f "$WORK/OSType.txt"
for arg in '/whatif' '/WHATIF' '/WhatIf'; do
    run_client_in "$WORK" "$arg"
    expect_eq "[$arg] exit" 0 "$RC"
    expect_eq "[$arg] preview lines" "$EXPECTED_PREVIEW" "$(grep '^What if: Removing ' <<<"$OUT" | sort)"
    expect_eq "[$arg] no real removal line" 0 "$(grep -c '^Removing' <<<"$OUT")"
    expect_eq "[$arg] version lines" 2 "$(grep -c '^getOSType: ' <<<"$OUT")"
    expect_eq "[$arg] last lines" "OperatingSystem: $WIN10_CODE
What if: OSType.txt not written" "$(tail -n 2 <<<"$OUT")"
    [ ! -e "$WORK/OSType.txt" ] && pass || fail "[$arg] wrote OSType.txt"
    all_planted "[$arg]"
done
plant_result_file
run_client_in "$WORK" /whatif
result_file_kept "[/whatif] earlier result"

# The real run afterwards removes exactly what the preview named.
PREVIEW_OUT="$OUT"
run_client_in "$WORK"
expect_eq "real run exit" 0 "$RC"
expect_eq "real run = preview without prefix" \
    "$(grep '^What if: Removing ' <<<"$PREVIEW_OUT" | sed 's/^What if: //')" \
    "$(grep '^Removing ' <<<"$OUT")"
for id in "${STALE[@]}"; do
    instance_exists "$id" && fail "real run left $id" || pass
done
for id in "${KEPT[@]}"; do
    instance_exists "$id" && pass || fail "real run removed $id"
done
expect_eq "real run result" "$WIN10_CODE" "$(cat "$WORK/OSType.txt")"

e2e_finish
