#!/usr/bin/env bash
# The Wine probes under a loader that fails about one start in five, at random but the same
# way for the same seed. Each row asks one kind of probe a question whose answer is known;
# every run of a row must give that answer (after tries again where a start failed) or end
# with the line "could not run". Any other answer is a check that would pass on a wrong
# premise or fail for a wrong reason.
#   wine-faults.sh OSTRELLE.exe [KIND]     only the rows of KIND when given
# WINE_LIB names the helper file under test (default: wine-lib.sh beside this script), so
# the same table can judge an older one; WINE_FAULT_SEED picks the failed starts.
set -uo pipefail
OSTRELLE="$(realpath "$1")"
ONLY="${2:-}"
export IMAGEPREP_EDITION=x64
source "${WINE_LIB:-$(dirname "$0")/wine-lib.sh}"
SEED="${WINE_FAULT_SEED:-7}"
REPEAT=3

wine_prefix_new win64
DRIVE_C="$(wine_drive_c)"
WORK="$DRIVE_C/work"
mkdir -p "$WORK"
VERSION="$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")"
KEY='HKEY_LOCAL_MACHINE\Software\ImagePrepFaults'
printf 'REGEDIT4\r\n\r\n[%s\\Planted]\r\n"a"="1"\r\n\r\n[%s\\Other]\r\n\r\n' "$KEY" "$KEY" \
    >"$WINE_TMP/planted.reg"
wine_reg_import "$WINE_TMP/planted.reg"

# The stand-in loader: counts every start; a start whose seeded hash is 0 modulo 5 fails
# the ways a loaded machine has failed Wine starts (an error status with or without a
# message, or a crash), before anything of the program runs.
FAULTS="$WINE_TMP/faults"
mkdir -p "$FAULTS"
: >"$FAULTS/injected"
echo 0 >"$FAULTS/count"
cat >"$FAULTS/wine64" <<EOF
#!/usr/bin/env bash
ulimit -c 0
exec 9>>"$FAULTS/lock"
flock 9
n=\$((\$(cat "$FAULTS/count") + 1))
echo "\$n" >"$FAULTS/count"
exec 9>&-
hash=\$(printf '%s:%s' "$SEED" "\$n" | cksum | cut -d' ' -f1)
if [ \$((hash % 5)) -eq 0 ]; then
    echo "\$n \$*" >>"$FAULTS/injected"
    case \$((hash / 5 % 3)) in
    0) exit 1 ;;
    1) echo "wine: the server did not answer" >&2; exit 1 ;;
    *) kill -SEGV \$\$ ;;
    esac
fi
exec "$WINELOADER" "\$@"
EOF
chmod +x "$FAULTS/wine64"
ln -s wine64 "$FAULTS/wine"

# Each row function gets the run number and prints its answer.
row_key_present() { wine_reg_exists "$KEY\\Planted" "$KEY" && echo present || echo absent; }
row_key_absent() { wine_reg_exists "$KEY\\Never" "$KEY" && echo present || echo absent; }
row_keys() {
    local k
    for k in Planted Never Other; do
        wine_reg_exists "$KEY\\$k" "$KEY" && printf '%s ' "$k" || printf 'no-%s ' "$k"
    done
    echo
}
# A key of its own per run, so a run that did not import cannot lean on an earlier one.
row_import() {
    printf 'REGEDIT4\r\n\r\n[%s\\Imported%s]\r\n\r\n' "$KEY" "$1" >"$WINE_TMP/import$1.reg"
    wine_reg_import "$WINE_TMP/import$1.reg"
    wine_reg_exists "$KEY\\Imported$1" "$KEY" && echo present || echo absent
}
# Another version each run: a winecfg that did not run leaves the code of the last one.
row_winecfg() {
    local name=win7 code=6
    if [ $(($1 % 2)) -eq 1 ]; then name=winxp64 code=2; fi
    wine_set_version "$name"
    wine_run_in "$WORK" "$OSTRELLE" 3>"$WINE_TMP/row.rc" >"$WINE_TMP/row.out"
    if grep -qx "OperatingSystem: $code" "$WINE_TMP/row.out"; then echo "code of $name"; else
        echo "not the code of $name: $(grep OperatingSystem "$WINE_TMP/row.out")"
    fi
}
row_exit_code() {
    wine_run_in "$WORK" "$OSTRELLE" a b 3>"$WINE_TMP/row.rc" >"$WINE_TMP/row.out"
    echo "exit $(cat "$WINE_TMP/row.rc"), $(wc -c <"$WINE_TMP/row.out") bytes"
}
row_output() {
    wine_run_in "$WORK" "$OSTRELLE" '/?' 3>"$WINE_TMP/row.rc" >"$WINE_TMP/row.out"
    echo "exit $(cat "$WINE_TMP/row.rc"): $(head -n 1 "$WINE_TMP/row.out")"
}
row_file() {
    local code
    rm -f "$WORK/OSType.txt"
    wine_run_in "$WORK" "$OSTRELLE" 3>/dev/null >"$WINE_TMP/row.out"
    code="$(sed -n 's/^OperatingSystem: //p' "$WINE_TMP/row.out")"
    if [ -n "$code" ] && [ "$(cat "$WORK/OSType.txt" 2>/dev/null)" = "$code" ]; then
        echo "OSType.txt holds the printed code"
    else
        echo "OSType.txt [$(cat "$WORK/OSType.txt" 2>/dev/null)], printed [$code]"
    fi
}
# Exit code 0x50001: its low byte is 1, the status of a loader that failed.
row_direct() {
    wine_run_direct "$WORK" "$OSTRELLE" a b
    echo "status $WINE_RC"
}
# start_script TEXT : a .cmd that starts TEXT in a cmd of its own and returns at once.
start_script() {
    printf '@echo off\r\nstart "" /b cmd /c "ping -n 3 127.0.0.1 >nul & %s"\r\n' "$1" \
        >"$WORK/starter.cmd"
    wine_run_in "$WORK" "$WORK/starter.cmd" 3>/dev/null >/dev/null
}
row_marker() {
    rm -f "$DRIVE_C/marker.txt"
    start_script 'echo done> C:\marker.txt'
    wine_wait_file "$DRIVE_C/marker.txt"
    echo "marker: $(tr -d '\r\n' <"$DRIVE_C/marker.txt" 2>/dev/null)"
}
# The started script leaves nothing: the wait must end when the script does.
row_no_marker() {
    local began="$SECONDS"
    rm -f "$DRIVE_C/marker.txt"
    start_script 'echo none> nul'
    if wine_wait_file "$DRIVE_C/marker.txt"; then echo "a marker appeared"; else
        [ $((SECONDS - began)) -lt 60 ] && echo "none, wait ended with the script" ||
            echo "none, waited $((SECONDS - began))s"
    fi
}

# KIND|QUESTION|ROW FUNCTION|TRUE ANSWER
ROWS="registry|a planted key is there|row_key_present|present
registry|a key never planted is not|row_key_absent|absent
registry|three keys from one read|row_keys|Planted no-Never Other 
helper|reg import takes effect|row_import|present
helper|winecfg sets the version|row_winecfg|(the version of the run)
exit code|the full exit code and no output|row_exit_code|exit 327681, 0 bytes
output|what the program printed|row_output|exit 0: Ostrelle $VERSION, image preparation client
file|the file the program wrote|row_file|OSType.txt holds the printed code
direct|a start without cmd|row_direct|status 1
marker|a started script's marker|row_marker|marker: done
marker|a started script that leaves none|row_no_marker|none, wait ended with the script"

FAILED=0
RUNS=0
TRUE_AFTER_FAULT=0
COULD_NOT_RUN=0
while IFS='|' read -r kind question row truth; do
    [ -z "$ONLY" ] || [ "$kind" = "$ONLY" ] || continue
    for rep in $(seq 1 "$REPEAT"); do
        # The winecfg row alternates; its answer names the version of this run.
        if [ "$row" = row_winecfg ]; then
            if [ $((rep % 2)) -eq 1 ]; then truth="code of winxp64"; else truth="code of win7"; fi
        fi
        # Each run starts its own reads: an answer left from the previous run would hide
        # the probe.
        type wine_state_changed >/dev/null 2>&1 && wine_state_changed
        faults_before="$(wc -l <"$FAULTS/injected")"
        answer="$(export WINELOADER="$FAULTS/wine64" PATH="$FAULTS:$PATH" && "$row" "$rep" 2>"$WINE_TMP/row.err")"
        faults=$(($(wc -l <"$FAULTS/injected") - faults_before))
        RUNS=$((RUNS + 1))
        if [ "$answer" = "$truth" ]; then
            outcome="true answer"
            [ "$faults" -eq 0 ] || TRUE_AFTER_FAULT=$((TRUE_AFTER_FAULT + 1))
        elif [ -z "$answer" ] && grep -q '^FAIL: could not run: ' "$WINE_TMP/row.err"; then
            outcome="$(grep -m1 '^FAIL: could not run: ' "$WINE_TMP/row.err")"
            COULD_NOT_RUN=$((COULD_NOT_RUN + 1))
        else
            outcome="WRONG: [$answer], the truth is [$truth]"
            FAILED=$((FAILED + 1))
            echo "FAIL: $kind: $question (run $rep, $faults failed starts): got [$answer], expected [$truth] or a could-not-run line" >&2
        fi
        printf '%-9s %-36s run %d, %d failed starts: %s\n' "$kind" "$question" "$rep" "$faults" "$outcome"
    done
done <<<"$ROWS"

STARTS="$(cat "$FAULTS/count")"
INJECTED="$(wc -l <"$FAULTS/injected")"
echo "seed $SEED: $RUNS runs, $STARTS Wine starts, $INJECTED failed on purpose; $TRUE_AFTER_FAULT true answers after a failed start, $COULD_NOT_RUN could not run, $FAILED wrong"
# A table whose loader never failed, or never failed where a probe then recovered, proved
# nothing about the probes.
[ "$INJECTED" -gt 0 ] || { echo "FAIL: the stand-in never failed a start" >&2; FAILED=$((FAILED + 1)); }
[ -n "$ONLY" ] || [ "$TRUE_AFTER_FAULT" -gt 0 ] ||
    { echo "FAIL: no probe got its answer after a failed start" >&2; FAILED=$((FAILED + 1)); }
[ "$FAILED" -eq 0 ]
