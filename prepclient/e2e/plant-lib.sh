# Plants device instances in Wine's Plug and Play registry. Source after e2e-lib.sh.

ENUM='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum'
DEVPKEY_BASE='{a45c254e-df1c-4efd-8020-67d146a850e0}'
NET_GUID_TEXT='{4D36E972-E325-11CE-BFC1-08002BE10318}'
NET_GUID='72,e9,36,4d,25,e3,ce,11,bf,c1,08,00,2b,e1,03,18'
DISK_GUID_TEXT='{4D36E967-E325-11CE-BFC1-08002BE10318}'
DISK_GUID='67,e9,36,4d,25,e3,ce,11,bf,c1,08,00,2b,e1,03,18'

# The UTF-8 text as terminated UTF-16LE bytes in .reg hex notation.
utf16_hex() {
    printf '%s\0' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' |
        sed 's/^,//; s/,$//'
}

# plant_property INSTANCE FMTID PID TYPE HEXDATA
plant_property() {
    printf '[%s\\%s\\Properties\\%s\\%04X]\r\n@=hex(ffff%04x):%s\r\n\r\n' \
        "$ENUM" "$1" "$2" "$3" "$4" "$5"
}

# plant_device INSTANCE CLASS_TEXT CLASS_HEX PDO INSTALL_STATE NAME : .reg text on stdout.
# An empty class, PDO or state is not planted, so reading it fails (an empty PDO is the
# ghost condition); a NAME of hex:BYTES is planted as those bytes.
plant_device() {
    local id="$1" name_hex="${6#hex:}"
    [ "$name_hex" != "$6" ] || name_hex="$(utf16_hex "$6")"
    printf '[%s\\%s]\r\n"ClassGUID"="%s"\r\n\r\n' "$ENUM" "$id" "$2"
    [ -z "$3" ] || plant_property "$id" "$DEVPKEY_BASE" 10 0x0d "$3"
    [ -z "$4" ] || plant_property "$id" "$DEVPKEY_BASE" 16 0x12 "$(utf16_hex "$4")"
    plant_property "$id" '{4340a6c5-93fa-4706-972c-7b648008a5a7}' 2 0x07 '0a,20,80,01'
    [ -z "$5" ] || plant_property "$id" "$DEVPKEY_BASE" 36 0x07 "0$5,00,00,00"
    plant_property "$id" '{b725f130-47ef-101a-a5f1-02608c9eebac}' 10 0x12 "$name_hex"
}

# plant_ghost_nic INSTANCE NAME [INSTALL_STATE] : .reg text of a network adapter without
# a physical device.
plant_ghost_nic() {
    plant_device "$1" "$NET_GUID_TEXT" "$NET_GUID" '' "${3:-0}" "$2"
}

# plant_import FUNCTION : imports the .reg text FUNCTION prints. Never in a pipeline: an
# import that does not take effect must end the suite, not a subshell.
plant_import() {
    { printf 'REGEDIT4\r\n\r\n'; "$1"; } >"$WINE_TMP/plant.reg"
    wine_reg_import "$WINE_TMP/plant.reg"
}

# instance_exists INSTANCE : the device's key is in the registry.
instance_exists() { wine_reg_exists "$ENUM\\$1"; }

# removal_line KIND STATE NAME : the line a real run prints (node status as planted).
removal_line() {
    printf 'Removing %s devNodeInstallState=0x%08X devNodeStatus=0x0180200A Name=%s' "$1" "$2" "$3"
}
