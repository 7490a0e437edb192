# Sourced by scripts/demo.sh: runs Ostrelle in a fresh 64-bit prefix that reports
# Windows 10 and holds one planted ghost network adapter, the x64 edition natively and
# the 32-bit edition under WOW64 where this host can run it.
ostrelle_demo() {
    local bin="$1"
    wine_prefix_new win64
    wine_set_version win10
    printf 'REGEDIT4\r\n\r\n[%s]\r\n"ClassGUID"="%s"\r\n\r\n[%s\\Properties\\%s\\000A]\r\n@=hex(ffff000d):%s\r\n' \
        'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\NET\0001' \
        '{4D36E972-E325-11CE-BFC1-08002BE10318}' \
        'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\NET\0001' \
        '{a45c254e-df1c-4efd-8020-67d146a850e0}' \
        '72,e9,36,4d,25,e3,ce,11,bf,c1,08,00,2b,e1,03,18' >"$WINE_TMP/demo-ghost.reg"
    wine_reg_import "$WINE_TMP/demo-ghost.reg"
    rm -rf "$WINE_TMP/ostrelle"
    mkdir -p "$WINE_TMP/ostrelle"
    wine_run "$WINE_TMP/ostrelle" "$bin/Ostrelle.exe"
    tr -d '\r' <"$WINE_OUT"
    echo
    echo "-- exit code: $WINE_RC"
    echo "-- OSType.txt: $(cat "$WINE_TMP/ostrelle/OSType.txt")"
}

echo "== Ostrelle.exe x64 under Wine (64-bit prefix, Windows 10) =="
EDITION=x64 ostrelle_demo "$BIN_X64"
echo
if wine_host_runs_32bit; then
    echo "== Ostrelle.exe 32-bit under Wine (same system, under WOW64) =="
    EDITION=x86 ostrelle_demo "$BIN"
else
    echo "== Ostrelle.exe 32-bit: not shown: $WINE_HOST_32BIT_WHY =="
fi
