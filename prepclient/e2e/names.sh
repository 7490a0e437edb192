#!/usr/bin/env bash
# Device names in the removal lines under different Windows languages: each name arrives
# in the ANSI code page, a character the code page lacks as "?", and the rest of the line
# and its line end are never lost.
set -uo pipefail
OSTRELLE="$1"
source "$(dirname "$0")/e2e-lib.sh"
source "$(dirname "$0")/plant-lib.sh"

ASCII_NAME='Plain NIC #1 (100% %s)'
CYRILLIC_NAME='Сетевой адаптер'
ODD_NAME='Odd name 网卡 end'
LATIN_NAME='Carte réseau Übung'
HINDI_NAME='नेटवर्क कार्ड 2'
LOOKALIKE_NAME='Best fit Āł'

wine_prefix_new "$(wine_edition_arch)"
WORK="$WINE_TMP/work"
mkdir -p "$WORK"

# One ghost adapter per name, planted afresh before every run (plant_names).
names_reg() {
    plant_ghost_nic 'ROOT\NET\0101' "$ASCII_NAME"
    plant_ghost_nic 'ROOT\NET\0102' "$CYRILLIC_NAME"
    plant_ghost_nic 'ROOT\NET\0103' "$ODD_NAME"
    plant_ghost_nic 'ROOT\NET\0104' "$LATIN_NAME"
    plant_ghost_nic 'ROOT\NET\0105' "$HINDI_NAME"
    plant_ghost_nic 'ROOT\NET\0106' "$LOOKALIKE_NAME"
}
plant_names() { plant_import names_reg; }

# run_in_locale LOCALE : a real run with Wine in that Unix locale; the console bytes land
# in $WINE_TMP/out.
run_in_locale() {
    plant_names
    LC_ALL="$1" run_client_in "$WORK"
    printf '%s\n' "$OUT" >"$WINE_TMP/out"
    expect_eq "[$1] exit" 0 "$RC"
    expect_eq "[$1] removal lines" 6 "$(LC_ALL=C grep -c '^Removing ghost NIC\. ' "$WINE_TMP/out")"
}

# expect_line LOCALE WHAT NAME_BYTES : exactly one whole removal line carries these bytes.
expect_line() {
    local line
    line="$(removal_line 'ghost NIC.' 0 "$3")"
    expect_eq "[$1] $2" 1 "$(LC_ALL=C grep -c -x -F -e "$line" "$WINE_TMP/out")"
}

# Russian: code page 1251 holds Cyrillic and "é"/"Ü" but neither CJK nor Devanagari.
run_in_locale ru_RU.UTF-8
expect_line ru "ASCII name unchanged" "$ASCII_NAME"
expect_line ru "Cyrillic as cp1251" "$(printf '%s' "$CYRILLIC_NAME" | iconv -f UTF-8 -t CP1251)"
expect_line ru "CJK replaced, rest kept" "Odd name ?? end"
expect_line ru "Devanagari replaced" "??????? ????? 2"

# The default (Western) locale: code page 1252.
run_in_locale C
expect_line C "ASCII name unchanged" "$ASCII_NAME"
expect_line C "CJK replaced, rest kept" "Odd name ?? end"
expect_line C "Latin letters as cp1252" "$(printf '%s' "$LATIN_NAME" | iconv -f UTF-8 -t CP1252)"
expect_line C "Cyrillic replaced" "??????? ???????"
# "Ā" and "ł" have look-alikes in the code page ("A", "l") that must not be used.
expect_line C "no look-alikes" "Best fit ??"

# A UTF-8 ANSI code page (Wine under a UTF-8 Hindi locale): every name whole, in UTF-8.
run_in_locale hi_IN.UTF-8
for name in "$ASCII_NAME" "$CYRILLIC_NAME" "$ODD_NAME" "$LATIN_NAME" "$HINDI_NAME" \
    "$LOOKALIKE_NAME"; do
    expect_line hi "[$name] as UTF-8" "$name"
done

e2e_finish
