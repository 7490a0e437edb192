#!/usr/bin/env bash
# Plants device instances in Wine's Plug and Play registry, runs the real
# program and checks both its removal lines and which instances are gone.
set -uo pipefail
OSTRELLE="$1"
source "$(dirname "$0")/e2e-lib.sh"

source "$(dirname "$0")/plant-lib.sh"

LONG_NAME="$(printf 'A%.0s' $(seq 2048))"
ODD_NAME='Odd name 网卡'

# Without its terminator: the name fills the whole buffer.
LONG_HEX="hex:$(utf16_hex "$LONG_NAME" | sed 's/,00,00$//')"

devices_reg() {
    plant_device 'ROOT\NET\0001' "$NET_GUID_TEXT" "$NET_GUID" '\Device\00000042' 0 'Present NIC'
    plant_device 'ROOT\NET\0002' "$NET_GUID_TEXT" "$NET_GUID" '' 0 'Ghost NIC'
    plant_device 'ROOT\NET\0003' "$NET_GUID_TEXT" "$NET_GUID" '' 2 'Broken ghost NIC'
    plant_device 'ROOT\NET\0004' "$NET_GUID_TEXT" "$NET_GUID" '\Device\00000043' 1 'Installing NIC'
    plant_device 'ROOT\NET\0005' "$NET_GUID_TEXT" "$NET_GUID" '' '' 'Ghost NIC without state'
    plant_device 'ROOT\DISKDRIVE\0001' "$DISK_GUID_TEXT" "$DISK_GUID" '\Device\00000044' 2 'Broken disk'
    plant_device 'ROOT\DISKDRIVE\0002' "$DISK_GUID_TEXT" "$DISK_GUID" '' 0 'Orphan disk'
    plant_device 'ROOT\UNKNOWN\0001' '' '' '' '' 'No class at all'
    plant_device 'ROOT\NET\0006' "$NET_GUID_TEXT" "$NET_GUID" '' 0 "$LONG_HEX"
    plant_device 'ROOT\NET\0007' "$NET_GUID_TEXT" "$NET_GUID" '' 0 "$ODD_NAME"
}
plant_devices() { plant_import devices_reg; }


GONE=('ROOT\NET\0002' 'ROOT\NET\0003' 'ROOT\NET\0005' 'ROOT\NET\0006' 'ROOT\NET\0007'
    'ROOT\DISKDRIVE\0001')

line() {
    local kind="$1" state="$2" name="$3"
    printf 'Removing %s devNodeInstallState=0x%08X devNodeStatus=0x0180200A Name=%s' \
        "$kind" "$state" "$name"
}

# relay_removals LOG : the device-installation calls the program itself makes (not those made
# inside a traced call) on the thread that opened the device set, from a +relay log, as
# "calls=N devices=N doubled=N unprepared=N other=N direct=N after_doubled=N": DIF_REMOVE
# requests, walk indexes that got one, indexes that got two, requests not right after their
# 16-byte parameters, class-installer calls with any other code, direct calls of the removal
# handler, and indexes with a request later than a doubled one.
relay_removals() {
    awk '
        !tid && /:Call setupapi\.SetupDiGetClassDevsW\(/ { tid = substr($0, 1, index($0, ":")) }
        !tid { next }
        index($0, tid "Ret ") == 1 { depth--; next }
        index($0, tid "Call ") != 1 { next }
        depth++ > 0 { next }
        /Call setupapi\.SetupDiEnumDeviceInfo\(/ { walk_index++; prepared = 0; next }
        /Call setupapi\.SetupDiSetClassInstallParamsW\(.*,00000010\) ret=/ { prepared = 1; next }
        /Call setupapi\.SetupDiCallClassInstaller\(00000005,/ {
            calls++
            if (!prepared) unprepared++
            prepared = 0
            if (++per[walk_index] == 2) { doubled++; last_doubled = walk_index }
            next
        }
        /Call setupapi\.SetupDiCallClassInstaller\(/ { other++; next }
        /Call setupapi\.SetupDiRemoveDevice\(/ { direct++; next }
        /Call setupapi\./ { prepared = 0 }
        END {
            for (i in per) { devices++; if (last_doubled && i + 0 > last_doubled) after++ }
            printf "calls=%d devices=%d doubled=%d unprepared=%d other=%d direct=%d after_doubled=%d\n",
                calls, devices, doubled, unprepared, other, direct, after
        }' "$1"
}

check_walk() {
    plant_devices
    # Relay tracing shows which device-installation calls the program itself makes.
    WINEDEBUG=-all,+relay run_client_in "$WORK"
    expect_eq "$WINEARCH exit" 0 "$RC"
    local removals
    removals="$(grep '^Removing ' <<<"$OUT" | grep -v 'Name=Odd name' | sort)"
    local expected
    expected="$(printf '%s\n' \
        "$(line 'device that failed install.' 2 'Broken ghost NIC')" \
        "$(line 'ghost NIC.' 2 'Broken ghost NIC')" \
        "$(line 'ghost NIC.' 0 'Ghost NIC')" \
        "$(line 'ghost NIC.' 0 'Ghost NIC without state')" \
        "$(line 'device that failed install.' 2 'Broken disk')" \
        "$(line 'ghost NIC.' 0 "${LONG_NAME:1}")" | sort)"
    expect_eq "$WINEARCH removal lines" "$expected" "$removals"
    # Characters outside the console's code page may be cut from the name, but
    # the line and the removal still happen.
    expect_eq "$WINEARCH odd name line" 1 "$(grep -c "^$(line 'ghost NIC.' 0 'Odd name')" <<<"$OUT")"
    # The device lines come before the version lines.
    expect_eq "$WINEARCH first line" "Removing" "$(head -n1 <<<"$OUT" | cut -c1-8)"
    for gone in "${GONE[@]}"; do
        instance_exists "$gone" && fail "$WINEARCH $gone still present" || pass
    done
    for kept in 'ROOT\NET\0001' 'ROOT\NET\0004' 'ROOT\DISKDRIVE\0002' 'ROOT\UNKNOWN\0001' \
        'DISPLAY\Default_Monitor\0000&0000'; do
        instance_exists "$kept" && pass || fail "$WINEARCH $kept was removed"
    done
    # Each removal line is one request through the class installer, right after its parameters;
    # each removed device is one index, the failed-install ghost NIC gets two requests and the
    # walk goes on past it; the removal handler is never called directly.
    local relay
    relay="$(relay_removals "$WINE_ERR")"
    expect_eq "$WINEARCH class-installer requests" \
        "calls=$(grep -c '^Removing ' <<<"$OUT") devices=${#GONE[@]} doubled=1 unprepared=0 other=0 direct=0" \
        "${relay% after_doubled=*}"
    [ "${relay##* after_doubled=}" -gt 0 ] && pass ||
        fail "$WINEARCH no request after the failed-install ghost NIC: $relay"
    # A second run finds nothing left to remove.
    run_client_in "$WORK"
    expect_eq "$WINEARCH second run removals" "" "$(grep '^Removing ' <<<"$OUT")"
}

for arch in $E2E_ARCHES; do
    wine_prefix_new "$arch"
    WORK="$WINE_TMP/work"
    mkdir -p "$WORK"
    # A fresh prefix has devices of its own, none of them stale.
    run_client_in "$WORK"
    expect_eq "$arch untouched prefix" "" "$(grep '^Removing ' <<<"$OUT")"
    check_walk
done

e2e_finish
