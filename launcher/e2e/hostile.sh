#!/usr/bin/env bash
# Hostile sources never crash the launcher: overlong paths, characters outside the ANSI
# code page, format and shell characters; long paths inside a package are copied.
source "$(dirname "$0")/lib.sh" "$@"
launcher_prefix

copy_failed_with() {
    log_of | grep -Eq "^Temp directory copy failed with code:$1\('[^']+'\) '.+'$"
}

# Code page 1252. A look-alike of "C:\pkgα" under best fit: staging it would run the wrong
# package. The exact name is looked for, and it does not exist.
export LC_ALL=C.UTF-8
make_script "$DRIVE_C/pkga/install.cmd" decoy
run_launcher 'C:\pkgα'
expect_eq "non-ANSI source exits -4" -4 "$RC"
expect "non-ANSI source: the exact folder is missing, shown with '?' ($(log_of | sed -n 4p))" \
    grep -Eq "^Temp directory copy failed with code:2\('[^']+'\) 'examine source C:\\\\pkg\?'$" \
    < <(log_of | sed -n 4p)
expect_eq "non-ANSI source: log is closed after four lines" 4 "$(log_of | wc -l)"
expect "non-ANSI source: the look-alike was not staged" test ! -e "$SCRIPTS"
expect "non-ANSI source: nothing ran" no_script_ran

run_launcher 'C:\漢字\パッケージ'
expect_eq "CJK source exits -4" -4 "$RC"
expect "CJK source: the exact path is missing ($(log_of | sed -n 4p))" \
    grep -Eq "^Temp directory copy failed with code:3\('[^']+'\) 'examine source C:\\\\\?\?\\\\\?\?\?\?\?'$" \
    < <(log_of | sed -n 4p)

# Overlong sources that do not exist: past MAX_PATH, and past what the system accepts at all.
long="C:\\$(printf 'd%.0s' $(seq 1 200))"
for _ in $(seq 1 25); do long="$long\\$(printf 'e%.0s' $(seq 1 200))"; done
run_launcher "$long"
expect_eq "5000-character source exits -4" -4 "$RC"
expect "5000-character source: copy failure line" copy_failed_with '[0-9]+'
expect_eq "5000-character source: the log names the whole path" "Unzipped temp directory to '$long'" \
    "$(log_of | sed -n 2p)"

huge="C:\\$(head -c 32600 /dev/zero | tr '\0' 'h')"
run_launcher "$huge"
expect_eq "32600-character source exits -4" -4 "$RC"
expect "32600-character source: copy failure line" copy_failed_with '[0-9]+'
expect_eq "32600-character source: log closed after four lines" 4 "$(log_of | wc -l)"

# A real package deep enough that both its own paths and the staged ones pass 260.
deep_unix="$DRIVE_C/deep"
deep_win='C:\deep'
for i in 1 2 3; do
    part="$(printf "p$i%.0s" $(seq 1 40))"
    deep_unix="$deep_unix/$part"
    deep_win="$deep_win\\$part"
done
make_script "$deep_unix/install.cmd" deep
inner="$deep_unix/$(printf 'i%.0s' $(seq 1 120))/$(printf 'j%.0s' $(seq 1 120))"
mkdir -p "$inner"
echo "deep file" >"$inner/$(printf 'k%.0s' $(seq 1 100)).txt"
run_launcher "$deep_win"
expect_eq "long package path exits 0" 0 "$RC"
expect_eq "long package path log" "$(success_log "$deep_win")" "$(log_of)"
staged="$SCRIPTS/${inner#"$deep_unix/"}/$(printf 'k%.0s' $(seq 1 100)).txt"
expect_eq "entry whose staged path passes 260 characters was copied" "deep file" "$(cat "$staged")"
expect_eq "long package's script ran" deep "$(ran_marker)"

# Format directives and cmd metacharacters in a real source are plain text.
rm -rf "$SCRIPTS"
odd='100%s %n %d & ^ ! (x)'
make_script "$DRIVE_C/$odd/install.cmd" odd
run_launcher "C:\\$odd"
expect_eq "source with format and shell characters exits 0" 0 "$RC"
expect_eq "source with format and shell characters is logged literally" \
    "$(success_log "C:\\$odd")" "$(log_of)"
expect_eq "its script ran" odd "$(ran_marker)"

# Other spellings of a real package folder: trailing separator, forward slashes, relative.
for spelling in 'C:\pkga\' 'C:/pkga' 'pkga'; do
    run_launcher "$spelling"
    expect_eq "source spelled '$spelling' exits 0" 0 "$RC"
    expect_eq "source spelled '$spelling': its script ran" decoy "$(ran_marker)"
done

finish
