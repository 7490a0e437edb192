# Sourced by scripts/demo.sh: runs Ostrelle in a fresh 64-bit prefix that
# reports Windows 10 and holds one planted ghost network adapter.
echo "== Ostrelle.exe under Wine (64-bit prefix, Windows 10) =="
wine_prefix_new win64
wine_set_version win10
printf 'REGEDIT4\r\n\r\n[%s]\r\n"ClassGUID"="%s"\r\n\r\n[%s\\Properties\\%s\\000A]\r\n@=hex(ffff000d):%s\r\n' \
    'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\NET\0001' \
    '{4D36E972-E325-11CE-BFC1-08002BE10318}' \
    'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\NET\0001' \
    '{a45c254e-df1c-4efd-8020-67d146a850e0}' \
    '72,e9,36,4d,25,e3,ce,11,bf,c1,08,00,2b,e1,03,18' >"$WINE_TMP/demo-ghost.reg"
wine_reg_import "$WINE_TMP/demo-ghost.reg"
mkdir -p "$WINE_TMP/ostrelle"
wine_run_in "$WINE_TMP/ostrelle" "$BIN/Ostrelle.exe" 3>"$WINE_TMP/ostrelle.rc"
echo
echo "-- exit code: $(cat "$WINE_TMP/ostrelle.rc")"
echo "-- OSType.txt: $(cat "$WINE_TMP/ostrelle/OSType.txt")"
