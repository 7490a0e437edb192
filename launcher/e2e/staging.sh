#!/usr/bin/env bash
# The launcher stages exactly the package it was given: twin names that differ only in a
# trailing dot or space, a destination inside the source, the batch-file quote, a directory
# link cycle, and names in any script whatever the ANSI code page (1252, 1251, 932, UTF-8),
# while the log shows them in that code page.
source "$(dirname "$0")/lib.sh" "$@"
launcher_prefix

copy_failed_line() { log_of | sed -n 4p; }

# Twins created on the Unix side, where nothing strips their trailing dots and spaces.
PKG="$DRIVE_C/twins"
make_script "$PKG/install.cmd" twins
for name in dup dup. sp "sp " lone.; do printf '%s' "$name" >"$PKG/$name"; done
mkdir -p "$PKG/d" "$PKG/d."
echo one >"$PKG/d/one.txt"
echo two >"$PKG/d./two.txt"
run_launcher 'C:\twins'
expect_eq "twin package exits 0" 0 "$RC"
expect_eq "twin package log is the seven lines" "$(success_log 'C:\twins')" "$(log_of)"
for name in dup dup. sp "sp " lone.; do
    expect_eq "twin '$name' staged under its own name" "$name" "$(cat "$SCRIPTS/$name" 2>/dev/null)"
done
expect_eq "d\\one.txt staged" one "$(cat "$SCRIPTS/d/one.txt" 2>/dev/null)"
expect_eq "d.\\two.txt staged" two "$(cat "$SCRIPTS/d./two.txt" 2>/dev/null)"
expect_eq "entry for entry: same names in Scripts as in the package" \
    "$(cd "$PKG" && find . | sort)" "$(cd "$SCRIPTS" && find . | sort)"
expect_eq "twin package's script ran" twins "$(ran_marker)"

# A typed path keeps its ordinary meaning: "C:\twins." names C:\twins.
run_launcher 'C:\twins.'
expect_eq "typed 'C:\\twins.' stages C:\\twins" 0 "$RC"

# The destination inside the source: refused before anything is written.
rm -rf "$SCRIPTS"
mkdir -p "$SCRIPTS"
echo keep >"$SCRIPTS/keep.txt"
before="$(cd "$SCRIPTS" && find . | sort)"
run_launcher 'C:\Windows'
expect_eq "source C:\\Windows exits -4" -4 "$RC"
expect_eq "source C:\\Windows: the failure names the destination inside the source" \
    "Temp directory copy failed with code:87('$(log_of | sed -n "4s/^[^(]*(.\([^']*\)').*/\1/p")') 'destination C:\\Windows\\Setup\\Scripts lies inside source C:\\Windows'" \
    "$(copy_failed_line)"
expect_eq "source C:\\Windows: nothing new in Scripts" "$before" "$(cd "$SCRIPTS" && find . | sort)"
run_launcher 'C:\'
expect_eq "source C:\\ exits -4" -4 "$RC"
expect_eq "source C:\\: nothing new in Scripts" "$before" "$(cd "$SCRIPTS" && find . | sort)"

# The batch-file trap: "C:\pkg\" reaches the program as C:\pkg".
make_script "$DRIVE_C/bat pkg/install.cmd" batch
printf '@echo off\r\n"%s" "C:\\bat pkg\\"\r\nexit /b %%ERRORLEVEL%%\r\n' "$(winepath -w "$EXE")" \
    >"$DRIVE_C/stage.cmd"
wine_run "$DRIVE_C" "$DRIVE_C/stage.cmd"
expect_eq "batch file with \"C:\\bat pkg\\\" exits 0" 0 "$WINE_RC"
expect_eq "batch file: the source is logged as received" \
    "Unzipped temp directory to 'C:\\bat pkg\"'" "$(log_of | sed -n 2p)"
expect_eq "batch file: the log ends in Done!" "Done!" "$(log_of | tail -n 1)"
expect_eq "batch file: the package's script ran" batch "$(ran_marker)"

# A directory link that points back up the package.
rm -rf "$SCRIPTS"
make_script "$DRIVE_C/cyc/install.cmd" cyc
mkdir -p "$DRIVE_C/cyc/sub"
ln -s .. "$DRIVE_C/cyc/sub/loop"
run_launcher 'C:\cyc'
expect_eq "link cycle exits -4" -4 "$RC"
expect "link cycle: the failure names the loop ($(copy_failed_line))" \
    grep -Eq "^Temp directory copy failed with code:87\('[^']+'\) 'directory loop: C:\\\\cyc\\\\sub\\\\loop is C:\\\\cyc again'$" \
    <<<"$(copy_failed_line)"
expect "link cycle: the walk stopped at the loop" test ! -e "$SCRIPTS/sub/loop"
expect "link cycle: nothing ran" no_script_ran

# The log file's raw bytes: text mode ends each line in CR LF.
crlf() { sed 's/$/\r/'; }

# stage_world UNIXDIR MARKER : a package with CJK, emoji (surrogate pairs in UTF-16),
# Cyrillic and Greek names in files and folders, and a few bytes no text has.
stage_world() {
    rm -rf "$SCRIPTS"
    make_script "$1/install.cmd" "$2"
    mkdir -p "$1/fonts" "$1/Кириллица" "$1/Ωμέγα/😀 смайл" "$1/漢字フォルダ"
    echo font >"$1/fonts/微软雅黑.ttf"
    echo emoji >"$1/😀.txt"
    echo ru >"$1/Кириллица/файл.txt"
    echo el >"$1/Ωμέγα/ένα.txt"
    echo pair >"$1/Ωμέγα/😀 смайл/👍🏽 ok.txt"
    head -c 3000 /dev/urandom >"$1/漢字フォルダ/データ.bin"
}

# same_tree WHAT UNIXDIR : entry for entry and byte for byte, the package is what Scripts holds.
same_tree() {
    expect_eq "$1: entry for entry, every name exact" \
        "$(cd "$2" && find . | sort)" "$(cd "$SCRIPTS" && find . | sort)"
    expect "$1: byte for byte" diff -r "$2" "$SCRIPTS"
}

# stages_whole WHAT UNIXDIR SOURCE MARKER SHOWN : SOURCE stages UNIXDIR's world package
# completely, its script runs, and the log is the seven lines with SHOWN as the source.
stages_whole() {
    stage_world "$2" "$4"
    run_launcher "$3"
    expect_eq "$1: exits 0" 0 "$RC"
    expect "$1: the log is byte for byte the seven lines" cmp -s <(success_log "$5" | crlf) "$LOG"
    same_tree "$1" "$2"
    expect_eq "$1: the script ran" "$4" "$(ran_marker)"
}

# Code page 1252 (a Western system): names it cannot hold are staged all the same. A source
# folder whose own name it cannot hold is staged from the exact name; the log shows each
# character 1252 lacks as "?" and keeps the ones it holds (é is E9).
export LC_ALL=C.UTF-8
stages_whole "1252 package with names outside the code page" "$DRIVE_C/world" 'C:\world' \
    world 'C:\world'
stages_whole "1252 source named outside the code page" "$DRIVE_C/пакет 😀 微软 café" \
    'C:\пакет 😀 微软 café' named "$(printf 'C:\\????? ? ?? caf\xe9')"

# Code page 1251: Cyrillic is held and logged in its own bytes; a failure description
# shows what 1251 lacks as "?" and names the rest exactly.
export LC_ALL=ru_RU.UTF-8
R="$DRIVE_C/Пакет"
stage_world "$R" cyrillic
run_launcher 'C:\Пакет'
expect_eq "1251: package exits 0" 0 "$RC"
expect_eq "1251: the log holds the source in 1251" "$(success_log 'C:\Пакет')" \
    "$(iconv -f CP1251 -t UTF-8 "$LOG" | tr -d '\r')"
same_tree "1251" "$R"
expect_eq "1251: the script ran" cyrillic "$(ran_marker)"
run_launcher 'C:\Пакет\нет 😀 Ω'
expect_eq "1251: a missing source exits -4" -4 "$RC"
line="$(iconv -f CP1251 -t UTF-8 "$LOG" | tr -d '\r' | sed -n 4p)"
expect "1251: the failure names the exact path, '?' for what 1251 lacks ($line)" \
    grep -Eq "^Temp directory copy failed with code:[23]\('[^']+'\) 'examine source C:\\\\Пакет\\\\нет \? \?'$" <<<"$line"

# Code page 932: Japanese names are held. ソ and 表 end in the byte of a backslash in 932, so
# a folder named with them must never be cut there.
export LC_ALL=ja_JP.UTF-8
J="$DRIVE_C/データ/ソフト表"
stage_world "$J" japanese
mkdir -p "$J/ソ"
echo so >"$J/ソ/表.txt"
run_launcher 'C:\データ\ソフト表'
expect_eq "932: package exits 0" 0 "$RC"
expect_eq "932: the log holds the source in 932" "$(success_log 'C:\データ\ソフト表')" \
    "$(iconv -f CP932 -t UTF-8 "$LOG" | tr -d '\r')"
same_tree "932" "$J"
expect_eq "932: the script ran" japanese "$(ran_marker)"

# A UTF-8 ANSI code page (65001): non-ASCII names and source convert and stage whole.
export LC_ALL=hi_IN.UTF-8
rm -rf "$SCRIPTS"
U="$DRIVE_C/पैकेज"
make_script "$U/install.cmd" utf8
mkdir -p "$U/फ़ोल्डर" "$U/Ωμέγα"
echo hi >"$U/फ़ोल्डर/नमस्ते.txt"
echo el >"$U/Ωμέγα/ένα.txt"
echo jp >"$U/日本語.txt"
echo emoji >"$U/😀.txt"
run_launcher 'C:\पैकेज'
expect_eq "UTF-8 code page: non-ASCII package exits 0" 0 "$RC"
expect_eq "UTF-8 code page: log is the seven lines" "$(success_log 'C:\पैकेज')" "$(log_of)"
expect_eq "UTF-8 code page: every entry staged" \
    "$(cd "$U" && find . | sort)" "$(cd "$SCRIPTS" && find . | sort)"
expect_eq "UTF-8 code page: content intact" hi "$(cat "$SCRIPTS/फ़ोल्डर/नमस्ते.txt" 2>/dev/null)"
expect_eq "UTF-8 code page: the script ran" utf8 "$(ran_marker)"

finish
