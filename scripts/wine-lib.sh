# Helpers for running the shipped programs under Wine in a throwaway prefix. Source this
# file; it sets traps that remove the prefix when the shell exits.
#
# Every answer comes from Windows itself, in the run that asked: a probe program of ours
# (probes/) asks inside the prefix and ends its answer with an end line of its own, and an
# answer without it is no answer. Every Wine start has a time limit. A start that did not
# happen is tried again; anything else the harness cannot vouch for ends the suite with
# "FAIL: could not run: ...", never with a verdict on the programs.

export WINEDEBUG=-all
# No prompts for the .NET and HTML runtimes, and no debugger: a program that crashes ends at
# once, with its exception code as its exit code.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

WINE_LIB_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE_TMP=""

# Which edition the suite tests: x86 (32-bit, the default) or x64 (native 64-bit).
EDITION="${IMAGEPREP_EDITION:-x86}"

# Whether this host runs 32-bit Windows programs under Wine. Three things can stop it, and
# a skip names the one that holds (WINE_HOST_32BIT_WHY):
# - the caller: WINE_HOST_RUNS_32BIT=no forces the 64-bit-only path on any host, so either
#   kind of host can show the other kind's verdict (=yes trusts the host without probing);
# - Wine's 32-bit part (wine32:i386) is not installed; scripts/install-deps.sh leaves apt's
#   reason in build/wine32-missing.txt when it could not install it;
# - the kernel cannot execute 32-bit Linux programs (IA-32 emulation off), or only through
#   an emulator, which makes them start a hundred times slower: hours for the suites.
WINE32_LOADER=/usr/lib/wine/wine
WINE32_NOTE="$WINE_LIB_ROOT/build/wine32-missing.txt"
wine_host_runs_32bit() {
    case "${WINE_HOST_RUNS_32BIT:-}" in
    yes) return 0 ;;
    no)
        : "${WINE_HOST_32BIT_WHY:=WINE_HOST_RUNS_32BIT=no: 32-bit programs are not run on this host}"
        export WINE_HOST_32BIT_WHY
        return 1
        ;;
    "") ;;
    *)
        echo "WINE_HOST_RUNS_32BIT must be yes, no or unset, not [$WINE_HOST_RUNS_32BIT]" >&2
        exit 2
        ;;
    esac
    WINE_HOST_RUNS_32BIT=no
    if [ ! -e "$WINE32_LOADER" ]; then
        WINE_HOST_32BIT_WHY="Wine's 32-bit part (wine32:i386) is not installed"
        if [ -s "$WINE32_NOTE" ]; then
            WINE_HOST_32BIT_WHY+=": $(head -n1 "$WINE32_NOTE")"
        fi
    elif grep -qs 'qemu-i386' /proc/sys/fs/binfmt_misc/*; then
        WINE_HOST_32BIT_WHY="this host runs 32-bit programs only through an emulator (qemu-i386), far too slowly"
    elif timeout 60 "$WINE32_LOADER" --version >/dev/null 2>&1; then
        WINE_HOST_RUNS_32BIT=yes
        WINE_HOST_32BIT_WHY=
    else
        WINE_HOST_32BIT_WHY="this host's kernel cannot execute 32-bit programs (IA-32 emulation off)"
    fi
    # Remembered for the suites this shell starts.
    export WINE_HOST_RUNS_32BIT WINE_HOST_32BIT_WHY
    [ "$WINE_HOST_RUNS_32BIT" = yes ]
}
wine_host_runs_32bit || true

# The loader of a prefix's own word size. Debian's "wine" starts the 32-bit loader wherever
# the host can run it, and in a 64-bit prefix that loader's helpers (regedit, reg, winecfg,
# cmd) are the 32-bit ones, which write the registry's 32-bit view. Naming the loader gives
# every host the same helpers; a 64-bit loader still starts 32-bit programs where the host
# runs them. WINE_LOADERS is where the loaders are (the fault table puts stand-ins there).
wine_loader_for() {
    if [ "$1" = win32 ]; then echo "${WINE_LOADERS:-/usr/lib/wine}/wine"; else
        echo "${WINE_LOADERS:-/usr/lib/wine}/wine64"
    fi
}
export WINELOADER="$(wine_loader_for "${WINEARCH:-win64}")"

# winepath -w UNIXPATH : the Windows name Wine gives a Unix path: drive C is the prefix's
# drive_c, Z: the Unix root. Worked out here rather than by starting Wine.
winepath() {
    local path drive_c
    path="$(realpath -m -s -- "$2")"
    drive_c="$(realpath -m -s -- "$WINEPREFIX/drive_c")"
    case "$path" in
    "$drive_c") echo 'C:\' ;;
    "$drive_c"/*) printf 'C:\\%s\n' "$(tr / '\\' <<<"${path#"$drive_c"/}")" ;;
    *) printf 'Z:%s\n' "$(tr / '\\' <<<"$path")" ;;
    esac
}

# The prefix a suite of this edition runs in: the 32-bit edition on a 32-bit system, the
# x64 edition on a 64-bit one.
wine_edition_arch() {
    if [ "$EDITION" = x64 ]; then echo win64; else echo win32; fi
}

# The binary tools (objdump, windres) that read this edition's files.
edition_tool() {
    if [ "$EDITION" = x64 ]; then echo "x86_64-w64-mingw32-$1"; else echo "i686-w64-mingw32-$1"; fi
}

# The PE shape of this edition: optional-header magic and the objdump architecture.
edition_pe_magic() { if [ "$EDITION" = x64 ]; then echo 020b; else echo 010b; fi; }
edition_pe_arch() { if [ "$EDITION" = x64 ]; then echo i386:x86-64; else echo i386; fi; }

# True when this host can run the edition's programs under Wine.
wine_edition_runs() { [ "$EDITION" = x64 ] || wine_host_runs_32bit; }

# The probe program NAME (run, reg, file) of this edition's build; CMake names its tree's.
wine_probe_exe() {
    local tree=windows
    [ "$EDITION" != x64 ] || tree=windows-x64
    echo "${IMAGEPREP_PROBES:-$WINE_LIB_ROOT/build/$tree/probes}/probe-$1.exe"
}

# Exit code that ctest counts as "skipped".
WINE_SKIP=77

# wine_require ARCH : ends the suite as skipped when this host cannot run ARCH prefixes
# (win32, or 32-bit programs in a 64-bit prefix: "wow64").
wine_require() {
    if [ "$1" != win64 ] && ! wine_host_runs_32bit; then
        echo "SKIP: $WINE_HOST_32BIT_WHY"
        exit "$WINE_SKIP"
    fi
}

# A server killed outright leaves its programs behind, waiting on it for ever: whatever of
# this suite's prefixes still runs goes with them.
wine_cleanup() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then wine_server -k >/dev/null 2>&1; fi
    if [ -n "$WINE_TMP" ]; then
        local env pid
        for env in $(grep -lzsF "WINEPREFIX=$WINE_TMP/" /proc/[0-9]*/environ); do
            pid="${env#/proc/}"
            case "$(readlink "/proc/${pid%/environ}/exe")" in */wine*) kill -9 "${pid%/environ}" ;; esac
        done 2>/dev/null
        rm -rf "$WINE_TMP"
    fi
}

# How often a start that did not happen (or a probe that did not answer) is tried.
WINE_PROBE_ATTEMPTS="${WINE_PROBE_ATTEMPTS:-4}"
# The limit of every Wine start: far beyond any start of a passing suite, even on a loaded
# two-core machine; a start past it is killed and its suite could not run.
WINE_START_LIMIT="${WINE_START_LIMIT:-300}"

# wine_could_not_run WHAT DETAIL : the harness cannot vouch for an answer. Its check fails
# with this line and the suite ends: every later check would stand on a premise nobody
# established. The note in $WINE_TMP keeps a suite from passing even when this ran in a
# subshell.
wine_could_not_run() {
    echo "FAIL: could not run: $1 ($2)" >&2
    if [ -n "$WINE_TMP" ] && [ -d "$WINE_TMP" ]; then echo "$1" >>"$WINE_TMP/could-not-run"; fi
    exit 1
}

# wine_all_answered : false when some probe of this suite could not run (for the suites' summary).
wine_all_answered() { [ -z "$WINE_TMP" ] || [ ! -e "$WINE_TMP/could-not-run" ]; }

# wine_retry_pause ATTEMPT WHAT : notes a start that did not happen; gives the machine a moment.
wine_retry_pause() {
    echo "wine: $2 (attempt $1 of $WINE_PROBE_ATTEMPTS), trying again" >&2
    [ "$1" -lt "$WINE_PROBE_ATTEMPTS" ] || wine_could_not_run "$2" "tried $1 times"
    sleep "$1"
}

# wine_as_user COMMAND... : COMMAND as WINE_AS_USER (an ordinary account, where the file
# system's refusals are real) when that is set, with only what Wine needs of the
# environment; else as this shell.
wine_as_user() {
    if [ -z "${WINE_AS_USER:-}" ]; then "$@"; else
        runuser -u "$WINE_AS_USER" -- env -i PATH="$PATH" HOME="$WINE_TMP" USER="$WINE_AS_USER" \
            WINEPREFIX="$WINEPREFIX" WINEARCH="$WINEARCH" WINEDEBUG="$WINEDEBUG" \
            WINELOADER="$WINELOADER" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" LANG=C.UTF-8 \
            ${LC_ALL:+LC_ALL="$LC_ALL"} "$@"
    fi
}

# wine_server ARGS... : the prefix's wineserver (-k, -w, -p), within a minute.
wine_server() { wine_as_user timeout -k 5 60 wineserver "$@"; }

# wine_start ARGS... : every Wine start of the harness goes through here. Runs the prefix's
# loader with ARGS within WINE_START_LIMIT; its standard output and error land in
# $WINE_START.out and .err, files no other start writes. A start past the limit is killed
# and ends the suite. The loader's status is returned, but no answer rests on it: a crash
# or a lost code can make it anything.
WINE_STARTS=0
wine_start() {
    WINE_STARTS=$((WINE_STARTS + 1))
    WINE_START="$WINE_TMP/start-$BASHPID-$WINE_STARTS"
    wine_state_changed
    local status=0
    wine_as_user timeout --verbose -k 10 "$WINE_START_LIMIT" "$WINELOADER" "$@" \
        </dev/null >"$WINE_START.out" 2>"$WINE_START.err" || status=$?
    if grep -q '^timeout: sending signal' "$WINE_START.err"; then
        wine_could_not_run "$(basename "$1") ${*:2}" "still running after ${WINE_START_LIMIT}s: killed"
    fi
    return "$status"
}

# wine_answered PROBE : true when this start's output is a whole answer of probe PROBE: its
# lines, then its own end line with their count. WINE_ANSWER holds the lines.
wine_answered() {
    local out="$WINE_START.out" count
    count=$(($(wc -l <"$out") - 1))
    [ "$count" -ge 0 ] && [ "$(tail -n 1 "$out")" = "end $1 $count" ] || return 1
    WINE_ANSWER="$(head -n "$count" "$out")"
}

# wine_ask PROBE ARGS... : a probe that only reads, asked until it answers.
wine_ask() {
    local probe="$1" attempt
    shift
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        wine_start "$(wine_probe_exe "$probe")" "$@"
        wine_answered "$probe" && return 0
        wine_retry_pause "$attempt" "probe-$probe $* gave no whole answer"
    done
}

# wine_file ARGS... : the file probe's answer (see probes/files.cpp) in WINE_ANSWER.
wine_file() { wine_ask file "$@"; }

# The prefix's registry server holds a volatile key with this value from the prefix's set-up
# on (see probes/sentinel.h). Every registry answer and every run carries whether it still
# does: a server that was restarted has lost what it had not saved, planted keys among them.
WINE_SENTINEL=""
wine_sentinel_new() {
    WINE_SENTINEL="s$BASHPID$RANDOM$RANDOM"
    wine_ask reg /make-sentinel "$WINE_SENTINEL" /sentinel "$WINE_SENTINEL"
    [ "$WINE_ANSWER" = "sentinel made
sentinel held" ] || wine_could_not_run "the registry sentinel" "$(tr '\n' ' ' <<<"$WINE_ANSWER")"
}
wine_sentinel_check() {
    [ "$1" = "sentinel held" ] ||
        wine_could_not_run "$2" "the prefix's registry server was restarted: what it had not saved is lost"
}

# wine_prefix_new win32|win64 : make a fresh prefix in a new temporary folder. A prefix
# counts as made once the server has written its registry and drive C has its system
# folder; otherwise it is thrown away and made again.
wine_prefix_new() {
    local arch="$1" attempt
    if [ "$EDITION" = x86 ]; then wine_require wow64; fi
    wine_require "$arch"
    if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then wine_server -k >/dev/null 2>&1; fi
    if [ -z "$WINE_TMP" ]; then
        WINE_TMP="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-wine.XXXXXX")"
        trap wine_cleanup EXIT
    fi
    if [ -n "${WINE_AS_USER:-}" ] && [ ! -d "$WINE_TMP/probes" ]; then
        # The user's folder, with the probes where the user may run them whoever built them.
        cp -r "$(dirname "$(wine_probe_exe run)")" "$WINE_TMP/probes"
        chmod -R a+rX "$WINE_TMP/probes"
        chown "$WINE_AS_USER" "$WINE_TMP"
        IMAGEPREP_PROBES="$WINE_TMP/probes"
    fi
    export WINEARCH="$arch"
    WINELOADER="$(wine_loader_for "$arch")"
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        export WINEPREFIX="$WINE_TMP/prefix-$arch-$RANDOM$RANDOM"
        wine_start wineboot -i
        if wine_server -w && [ -s "$WINEPREFIX/system.reg" ] &&
            [ -d "$WINEPREFIX/drive_c/windows/system32" ]; then
            # A server that stays up spares every later step its start and shutdown
            # delay; the registry lives in it, so changes are seen at once.
            wine_server -p
            wine_sentinel_new
            return 0
        fi
        wine_server -k >/dev/null 2>&1
        rm -rf "$WINEPREFIX"
        wine_retry_pause "$attempt" "wineboot did not make the $arch prefix"
    done
}

# Unix path of drive C in the current prefix.
wine_drive_c() { echo "$WINEPREFIX/drive_c"; }

# wine_command_line ARGS... : ARGS as one command line that the C runtime splits back into
# them: quoted where they hold blanks or quotes, a backslash before each quote and doubled
# backslashes where a quote follows.
wine_command_line() {
    local arg sep=""
    for arg in "$@"; do
        printf '%s' "$sep"
        sep=" "
        if [ -n "$arg" ] && [[ "$arg" != *[[:space:]\"]* ]]; then printf '%s' "$arg"; else
            printf '"%s"' "$(sed -E 's/(\\*)"/\1\1\\"/g; s/(\\+)$/\1\1/' <<<"$arg")"
        fi
    done
}

# wine_run UNIXDIR PROGRAM [ARGS...] : runs PROGRAM (a program, or a .cmd script) with
# UNIXDIR as its current directory and ARGS exactly as given (a command line of up to the
# system's 32767 characters), through the runner (probes/run.cpp), which waits until nothing
# the program started is left. Sets WINE_RC (its
# exact exit code, signed: -4, 327681, -1073741819 for a crash), WINE_OUT (a file with its
# standard output, whole), WINE_ERR (its standard error, with any trace WINEDEBUG asks for)
# and WINE_RUN_ID (the name no other run has; the program's environment holds it as
# IMAGEPREP_RUN, for markers). WINE_HOLD names a file the runner keeps open, unshared, all
# along. Call it in the suite's own shell: a run it cannot vouch for ends the suite.
#
# A program is started again only when the runner proves it never started: its answer says
# so, or the journal it writes just before the start is missing.
WINE_RUNS=0
wine_run() {
    local dir="$1" program="$2" attempt journal answer
    shift 2
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        WINE_RUNS=$((WINE_RUNS + 1))
        WINE_RUN_ID="run$BASHPID-$WINE_RUNS"
        journal="$WINE_TMP/$WINE_RUN_ID.journal"
        WINE_OUT="$WINE_TMP/$WINE_RUN_ID.out"
        wine_command_line "$@" >"$WINE_TMP/$WINE_RUN_ID.args"
        wine_start "$(wine_probe_exe run)" /dir "$(winepath -w "$dir")" \
            /args "$(winepath -w "$WINE_TMP/$WINE_RUN_ID.args")" /stdout "$(winepath -w "$WINE_OUT")" /journal "$(winepath -w "$journal")" \
            /sentinel "$WINE_SENTINEL" /env "IMAGEPREP_RUN=$WINE_RUN_ID" \
            /limit $((WINE_START_LIMIT - 30)) ${WINE_HOLD:+/hold "$WINE_HOLD"} \
            "$(winepath -w "$program")"
        WINE_ERR="$WINE_START.err"
        if ! wine_answered run; then
            [ ! -e "$journal" ] ||
                wine_could_not_run "$(basename "$program") $*" "the runner's answer is not whole: the program may have run"
            wine_retry_pause "$attempt" "the runner did not start $(basename "$program")"
            continue
        fi
        answer="$WINE_ANSWER"
        [ -z "$WINE_SENTINEL" ] || wine_sentinel_check "$(head -n 1 <<<"$answer")" "$(basename "$program") $*"
        if grep -q '^not started ' <<<"$answer"; then
            wine_retry_pause "$attempt" "$(grep '^not started ' <<<"$answer")"
            continue
        fi
        WINE_RC="$(sed -n 's/^exit \(-\{0,1\}[0-9]*\) .*/\1/p' <<<"$answer")"
        if [ -z "$WINE_RC" ] || ! grep -qx 'job empty' <<<"$answer"; then
            wine_could_not_run "$(basename "$program") $*" "$(tr '\n' ' ' <<<"$answer")"
        fi
        [ "$(sed -n 's/^stdout //p' <<<"$answer")" = "$(stat -c %s "$WINE_OUT" 2>/dev/null)" ] ||
            wine_could_not_run "$(basename "$program") $*" "its standard output is not whole"
        return 0
    done
}

# wine_helper COMMAND... : runs a Wine helper that changes the prefix and may be repeated
# (winecfg, reg import). Its status must be 0, and its caller checks the change itself.
wine_helper() {
    local attempt
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        wine_start "$@" && return 0
        wine_retry_pause "$attempt" "[$*] did not succeed"
    done
}

# wine_reg_ask QUERIES : the registry probe's answers (see probes/registry.cpp) to the queries
# in file QUERIES, in WINE_ANSWER, each vouched for by the sentinel.
wine_reg_ask() {
    wine_ask reg /sentinel "$WINE_SENTINEL" /from "$(winepath -w "$1")"
    wine_sentinel_check "$(head -n 1 <<<"$WINE_ANSWER")" "probe-reg"
    WINE_ANSWER="$(tail -n +2 <<<"$WINE_ANSWER")"
}

# The registry views of the current prefix: a 64-bit system has two, and each program
# reads the one of its own word size.
wine_reg_views() { if [ "$WINEARCH" = win64 ]; then echo 64 32; else echo 32; fi; }

# wine_reg_expected FILE VIEW : the queries (fields apart by tabs) and the answers that
# show each key and value of the .reg FILE in place, one pair of lines each. Strings must be
# plain ASCII; anything else is planted as hex(...) data.
wine_reg_expected() {
    tr -d '\r' <"$1" | awk -v view="$2" '
        BEGIN { for (i = 32; i < 127; i++) code[sprintf("%c", i)] = i; print "view\t" view; print "" }
        function value(name, type, hex) {
            while (length(type) < 8) type = "0" type
            print "value\t" key "\t" name; print "value 0x" toupper(type) " " hex " " key "\\" name
        }
        /^\[.*\]$/ { key = substr($0, 2, length($0) - 2); print "key\t" key; print "present " key; next }
        !/=/ { next }
        {
            name = $0; sub(/=.*/, "", name); data = substr($0, length(name) + 2); hex = ""
            if (name != "@") name = substr(name, 2, length(name) - 2)
            if (data ~ /^"[^"\\]*"$/) {
                for (i = 2; i < length(data); i++) hex = hex sprintf("%02x00", code[substr(data, i, 1)])
                value(name, "1", hex "0000")
            } else if (data ~ /^dword:[0-9a-fA-F]+$/) {
                d = tolower(substr(data, 7)); value(name, "4", substr(d, 7, 2) substr(d, 5, 2) substr(d, 3, 2) substr(d, 1, 2))
            } else if (match(data, /^hex\([0-9a-fA-F]+\):/)) {
                hex = tolower(substr(data, RLENGTH + 1)); gsub(/,/, "", hex)
                value(name, substr(data, 5, RLENGTH - 6), hex == "" ? "-" : hex)
            } else { print "value\t" key "\t" name; print "unreadable .reg line: " $0 }
        }'
}

# wine_reg_holds FILE : true when the registry holds every key and value of the .reg FILE,
# in every view; WINE_REG_DIFFERS names the first that differs.
wine_reg_holds() {
    local view pairs="$1.pairs"
    for view in $(wine_reg_views); do wine_reg_expected "$1" "$view"; done >"$pairs"
    sed -n 'p;n' "$pairs" >"$1.queries"
    wine_reg_ask "$1.queries"
    WINE_REG_DIFFERS="$(diff <(sed -n 'n;p' "$pairs" | grep .) <(grep . <<<"$WINE_ANSWER") |
        grep -m1 '^[<>]')"
    [ -z "$WINE_REG_DIFFERS" ]
}

# wine_reg_import FILE : imports a .reg file into every view of the prefix's registry, as a
# real 64-bit system keeps its version keys in both, until the registry holds all of it.
wine_reg_import() {
    local view attempt
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        for view in $(wine_reg_views); do wine_helper reg import "$(winepath -w "$1")" "/reg:$view"; done
        wine_reg_holds "$1" && return 0
        wine_retry_pause "$attempt" "reg import $(basename "$1") did not take effect: $WINE_REG_DIFFERS"
    done
}

# wine_reg_read KEY... : asks the registry, in the view of the prefix's word size, whether
# each KEY is there; the answers fill WINE_KEY until the next Wine start.
declare -A WINE_KEY=()
wine_state_changed() { WINE_KEY=(); }
wine_reg_read() {
    local queries="$WINE_TMP/keys.queries" key answer
    { printf 'view\t%s\n' "$(wine_reg_views | cut -d' ' -f1)"; printf 'key\t%s\n' "$@"; } >"$queries"
    wine_reg_ask "$queries"
    local -a answers
    mapfile -t answers <<<"$WINE_ANSWER"
    for key in "$@"; do
        answer="${answers[0]}"
        answers=("${answers[@]:1}")
        case "$answer" in
        "present $key") WINE_KEY[$key]=present ;;
        "absent $key") WINE_KEY[$key]=absent ;;
        *) wine_could_not_run "probe-reg $key" "answered [$answer]" ;;
        esac
    done
}

# wine_reg_exists KEY : true when KEY is there (read now unless wine_reg_read already did).
wine_reg_exists() {
    [ -n "${WINE_KEY[$1]:-}" ] || wine_reg_read "$1"
    [ "${WINE_KEY[$1]}" = present ]
}

# Sets the Windows version Wine reports (winxp, win7, win10, ...) until the system says it
# is that version (probes/system.cpp): number and product type (1 workstation, 3 server).
wine_set_version() {
    local attempt expected
    expected="$(declare -A v=([winxp]="5.1 product 1" [winxp64]="5.2 product 1"
        [win2003]="5.2 product 3" [vista]="6.0 product 1" [win2008]="6.0 product 3"
        [win7]="6.1 product 1" [win2008r2]="6.1 product 3" [win8]="6.2 product 1"
        [win81]="6.3 product 1" [win10]="10.0 product 1")
        echo "version ${v[$1]:-unknown}")"
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        wine_helper winecfg -v "$1"
        wine_ask system
        [ "$WINE_ANSWER" != "$expected" ] || return 0
        wine_retry_pause "$attempt" "winecfg -v $1 did not take effect: the system says [$WINE_ANSWER]"
    done
}
