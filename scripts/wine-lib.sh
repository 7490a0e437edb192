# Helpers for running the shipped programs under Wine in a throwaway prefix.
# Source this file; it sets traps that remove the prefix when the shell exits.

export WINEDEBUG=-all
# No prompts for the .NET and HTML runtimes: nobody is there to answer them.
export WINEDLLOVERRIDES="mscoree,mshtml="

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
WINE32_NOTE="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine32-missing.txt"
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
# runs them.
wine_loader_for() {
    if [ "$1" = win32 ]; then echo /usr/lib/wine/wine; else echo /usr/lib/wine/wine64; fi
}
export WINELOADER="$(wine_loader_for "${WINEARCH:-win64}")"
# Every start of Wine by the harness goes through here. A start may change the prefix, so it
# drops the registry snapshot (see wine_reg_snapshot).
wine() {
    wine_state_changed
    "$WINELOADER" "$@"
}
# winepath -w UNIXPATH : the Windows name Wine gives a Unix path: drive C is the prefix's
# drive_c, Z: the Unix root. Worked out here rather than by starting Wine: a start that
# fails under load would leave an empty name behind, and a check without its input.
winepath() {
    if [ "$1" != -w ] || [ $# -ne 2 ]; then
        "$WINELOADER" winepath "$@"
        return
    fi
    local path drive_c
    path="$(realpath -m -s -- "$2")"
    drive_c="$(realpath -m -s -- "$WINEPREFIX/drive_c")"
    case "$path" in
    "$drive_c") echo 'C:\' ;;
    "$drive_c"/*) printf 'C:\\%s\n' "$(tr / '\\' <<<"${path#"$drive_c"/}")" ;;
    *) printf 'Z:%s\n' "$(tr / '\\' <<<"$path")" ;;
    esac
}
wineboot() { "$WINELOADER" wineboot "$@"; }

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

wine_cleanup() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -n "$WINE_TMP" ]; then
        rm -rf "$WINE_TMP"
    fi
}


# How often the harness tries a Wine start that did not run or did not answer before the
# check that needed it fails. A start that fails under load is tried again after a pause;
# a program that ran is never run twice.
WINE_PROBE_ATTEMPTS="${WINE_PROBE_ATTEMPTS:-4}"
# How long a wait for an event (a started script, a settled prefix) may last. Ten seconds
# has been seen on a loaded two-core machine; a pass ends at the event, never here.
WINE_WAIT_CEILING="${WINE_WAIT_CEILING:-300}"

# wine_could_not_run WHAT DETAIL : a probe never answered. Its check fails with this line and
# the suite ends: every later check would stand on a premise nobody established. The note
# in $WINE_TMP keeps a suite from passing even when this ran in a subshell.
wine_could_not_run() {
    echo "FAIL: could not run: $1 (tried $WINE_PROBE_ATTEMPTS times; $2)" >&2
    if [ -n "$WINE_TMP" ] && [ -d "$WINE_TMP" ]; then echo "$1" >>"$WINE_TMP/could-not-run"; fi
    exit 1
}

# wine_all_answered : false when some probe of this suite could not run (for the suites' summary).
wine_all_answered() { [ -z "$WINE_TMP" ] || [ ! -e "$WINE_TMP/could-not-run" ]; }

# wine_retry_pause ATTEMPT WHAT : notes a start that did not run and gives the machine a moment.
wine_retry_pause() {
    echo "wine: $2 (attempt $1 of $WINE_PROBE_ATTEMPTS), trying again" >&2
    sleep "$1"
}

# A Wine start may have changed the prefix: the registry snapshot no longer holds.
wine_state_changed() {
    if [ -n "$WINE_TMP" ]; then rm -f "$WINE_TMP/reg-snapshot" "$WINE_TMP/reg-snapshot.stable"; fi
}

# wine_prefix_new win32|win64 : make a fresh prefix in a new temporary folder. A prefix
# counts as made once the server has written its registry and drive C has its system
# folder; otherwise it is thrown away and made again.
wine_prefix_new() {
    local arch="$1" attempt
    if [ "$EDITION" = x86 ]; then wine_require wow64; fi
    wine_require "$arch"
    if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -z "$WINE_TMP" ]; then
        WINE_TMP="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-wine.XXXXXX")"
        trap wine_cleanup EXIT
    fi
    wine_state_changed
    export WINEARCH="$arch"
    WINELOADER="$(wine_loader_for "$arch")"
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        export WINEPREFIX="$WINE_TMP/prefix-$arch-$RANDOM$RANDOM"
        if wineboot -i >/dev/null 2>&1 && wineserver -w && [ -s "$WINEPREFIX/system.reg" ] &&
            [ -d "$WINEPREFIX/drive_c/windows/system32" ]; then
            # A server that stays up spares every later step its start and shutdown
            # delay; the registry lives in it, so changes are seen at once.
            wineserver -p
            return 0
        fi
        wineserver -k >/dev/null 2>&1
        rm -rf "$WINEPREFIX"
        wine_retry_pause "$attempt" "wineboot did not make the $arch prefix"
    done
    wine_could_not_run "wineboot -i ($arch prefix)" "no registry or system folder was written"
}

# Unix path of drive C in the current prefix.
wine_drive_c() { echo "$WINEPREFIX/drive_c"; }

# wine_run_in UNIXDIR EXE [ARGS...] : runs EXE (a program, or a .cmd script) with UNIXDIR as
# the current directory. Standard output goes to our standard output with CR removed; the
# program's full 32-bit exit code is printed to fd 3 in decimal (a Linux exit status would
# keep only the low byte). Call it in the suite's own shell, not in $(...): a run that
# never happened ends the suite.
#
# The script around EXE notes that it started before EXE runs and its exit code after.
# No note: cmd never started, nothing ran, so it is tried again. Exit code 9009: cmd could
# not start EXE (none of the programs tested here exits 9009), tried again too. A start
# note without an exit code: EXE may have run, so it is not run twice; the check fails.
wine_run_in() {
    local dir="$1" exe="$2"
    shift 2
    local bat="$WINE_TMP/run-$$-$RANDOM.cmd" call="" attempt code=""
    local rc="$bat.rc" out="$bat.out"
    # A script started without "call" never comes back to note its exit code.
    case "$exe" in *.[cC][mM][dD] | *.[bB][aA][tT]) call="call " ;; esac
    {
        printf '@echo off\r\n'
        printf '>"%s" echo STARTING\r\n' "$(winepath -w "$rc")"
        printf '%s"%s" %%*\r\n' "$call" "$(winepath -w "$exe")"
        printf '>>"%s" echo EXITCODE=%%ERRORLEVEL%%\r\n' "$(winepath -w "$rc")"
    } >"$bat"
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        rm -f "$rc" "$out" "$out.err"
        (cd "$dir" && wine cmd /c "$(winepath -w "$bat")" "$@" </dev/null 2>"$out.err") |
            tr -d '\r' >"$out"
        code="$(sed -n 's/^EXITCODE=//p' "$rc" 2>/dev/null | tr -d '\r')"
        if [ -n "$code" ] && [ "$code" != 9009 ]; then break; fi
        if [ -e "$rc" ] && [ -z "$code" ]; then
            cat "$out.err" >&2
            wine_could_not_run "$(basename "$exe") $*" "cmd ended before it noted the exit code"
        fi
        if [ "$attempt" -eq "$WINE_PROBE_ATTEMPTS" ]; then
            cat "$out.err" >&2
            wine_could_not_run "$(basename "$exe") $*" "cmd never started it"
        fi
        wine_retry_pause "$attempt" "cmd did not start $(basename "$exe")"
    done
    cat "$out"
    cat "$out.err" >&2
    echo "$code" >&3
    rm -f "$bat" "$rc" "$out" "$out.err"
}

# wine_run_direct UNIXDIR EXE [ARGS...] : runs EXE without cmd in between, for arguments cmd
# would change. WINE_RC is the low byte of its exit code; its standard output and error (with
# any trace WINEDEBUG asks for) land in $WINE_TMP/direct.out and direct.err. The loader's own
# status cannot tell a failed start from a program's exit code, so Wine's trace of loaded
# modules is the proof: a run counts once Wine has loaded EXE and kernel32 for it. Before
# that none of EXE's code has run, so the start is tried again.
wine_run_direct() {
    local dir="$1" exe="$2" attempt name
    shift 2
    name="$(basename "$exe")"
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        (cd "$dir" && WINEDEBUG="${WINEDEBUG:--all},trace+loaddll" wine "$exe" "$@" \
            </dev/null >"$WINE_TMP/direct.out" 2>"$WINE_TMP/direct.err")
        WINE_RC=$?
        if grep -qiF "\\\\$name\" at " "$WINE_TMP/direct.err" &&
            grep -qiF '\\kernel32.dll" at ' "$WINE_TMP/direct.err"; then
            return 0
        fi
        [ "$attempt" -lt "$WINE_PROBE_ATTEMPTS" ] || break
        wine_retry_pause "$attempt" "Wine did not load $name (status $WINE_RC)"
    done
    wine_could_not_run "$name $*" "Wine never loaded it; last status $WINE_RC"
}

# wine_helper COMMAND... : runs a Wine helper that changes the prefix and may be repeated
# (winecfg, reg import). A change that silently did not happen would make a later check
# test the wrong thing, so a helper that never succeeds ends the suite.
wine_helper() {
    local attempt
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        wine "$@" >/dev/null 2>&1 && return 0
        [ "$attempt" -lt "$WINE_PROBE_ATTEMPTS" ] || break
        wine_retry_pause "$attempt" "[$*] did not succeed"
    done
    wine_could_not_run "$*" "it never exited 0"
}

# Sets the Windows version Wine reports (winxp, win7, win10, ...).
wine_set_version() { wine_helper winecfg -v "$1"; }

# The registry views of the current prefix: a 64-bit system has two, and each program
# reads the one of its own word size.
wine_reg_views() { if [ "$WINEARCH" = win64 ]; then echo 64 32; else echo 32; fi; }

# wine_reg_import FILE : imports a .reg file into every view of the prefix's registry, as a
# real 64-bit system keeps its version keys in both; programs of either edition see it.
wine_reg_import() {
    local file view
    file="$(winepath -w "$1")"
    for view in $(wine_reg_views); do
        wine_helper reg import "$file" "/reg:$view"
    done
}

wine_lower() { tr 'A-Z' 'a-z' <<<"$1"; }

# wine_reg_snapshot ROOT : reads the names of ROOT and every key under it in one start (reg
# export, the view of the prefix's word size) into $WINE_TMP/reg-snapshot, ROOT first. ROOT
# must exist: an export whose file holds ROOT's own line has answered, anything else has
# not and is tried again. Any later Wine start drops the snapshot.
wine_reg_snapshot() {
    local root views file attempt
    root="$(wine_lower "$1")"
    views="$(wine_reg_views)"
    file="$WINE_TMP/reg-export.reg"
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        rm -f "$file" "$WINE_TMP/reg-snapshot" "$WINE_TMP/reg-snapshot.stable"
        "$WINELOADER" reg export "$1" "$(winepath -w "$file")" /y "/reg:${views%% *}" \
            >/dev/null 2>&1
        if iconv -f UTF-16LE -t UTF-8 "$file" 2>/dev/null | tr -d '\r' |
            sed -n 's/^\[\(.*\)\]$/\1/p' | tr 'A-Z' 'a-z' >"$file.keys" &&
            grep -qxF -e "$root" "$file.keys"; then
            { echo "$root"; cat "$file.keys"; } >"$WINE_TMP/reg-snapshot"
            rm -f "$file" "$file.keys"
            return 0
        fi
        [ "$attempt" -lt "$WINE_PROBE_ATTEMPTS" ] || break
        wine_retry_pause "$attempt" "reg export of $1 gave no answer"
    done
    wine_could_not_run "reg export $1" "no export holding that key was written"
}

# wine_reg_exists KEY [ROOT] : true when KEY is in the registry view of the prefix's word
# size. Answered from one export of ROOT (default: KEY's parent, which must exist); later
# questions under the same ROOT reuse it until the next Wine start, so a check that asks
# about many keys costs one start.
#
# A key an export lacks is only called absent once a second export agrees. Under load one
# export has lacked a planted key that the exports before and after it held, with no
# program run in between; Wine's own services work on the device tree beside the check.
# Exports that keep disagreeing are a probe that could not answer.
wine_reg_exists() {
    local key from="${2:-${1%\\*}}" root attempt
    key="$(wine_lower "$1")"
    root="$(wine_lower "$from")"
    if [ "$(head -n 1 "$WINE_TMP/reg-snapshot" 2>/dev/null)" != "$root" ]; then
        wine_reg_snapshot "$from"
    fi
    tail -n +2 "$WINE_TMP/reg-snapshot" | grep -qxF -e "$key" && return 0
    [ ! -e "$WINE_TMP/reg-snapshot.stable" ] || return 1
    for attempt in $(seq 1 "$WINE_PROBE_ATTEMPTS"); do
        mv "$WINE_TMP/reg-snapshot" "$WINE_TMP/reg-snapshot.before"
        wine_reg_snapshot "$from"
        cmp -s "$WINE_TMP/reg-snapshot.before" "$WINE_TMP/reg-snapshot" && break
        echo "wine: two exports of $from differ:" \
            "$(diff "$WINE_TMP/reg-snapshot.before" "$WINE_TMP/reg-snapshot" | grep '^[<>]' | tr '\n' ' ')" >&2
        [ "$attempt" -lt "$WINE_PROBE_ATTEMPTS" ] ||
            wine_could_not_run "reg export $from" "no two exports in a row agreed"
    done
    : >"$WINE_TMP/reg-snapshot.stable"
    tail -n +2 "$WINE_TMP/reg-snapshot" | grep -qxF -e "$key"
}

# The processes a prefix keeps running on its own: the server and its services.
WINE_STANDING=" services.exe winedevice.exe plugplay.exe svchost.exe rpcss.exe explorer.exe "

# wine_busy : the names of this prefix's Windows processes that are not standing ones.
wine_busy() {
    local env pid
    for env in $(grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        pid="${env#/proc/}"
        pid="${pid%/environ}"
        case "$(readlink "/proc/$pid/exe" 2>/dev/null)" in
        */wineserver*) continue ;;
        */wine*) ;;
        *) continue ;;
        esac
        case "$WINE_STANDING" in *" $(cat "/proc/$pid/comm" 2>/dev/null) "*) continue ;; esac
        cat "/proc/$pid/comm" 2>/dev/null
    done
}

# wine_wait_settled : waits until no program of this prefix runs apart from its standing
# ones, so whatever was started has ended; false (naming what still runs) at the ceiling.
wine_wait_settled() {
    local end=$((SECONDS + WINE_WAIT_CEILING))
    while [ -n "$(wine_busy)" ]; do
        if [ "$SECONDS" -ge "$end" ]; then
            echo "wine: still running after ${WINE_WAIT_CEILING}s: $(wine_busy | tr '\n' ' ')" >&2
            return 1
        fi
        sleep 0.2
    done
}

# wine_wait_file UNIXFILE : waits until a started program has written UNIXFILE (not empty).
# True as soon as it has; false once the prefix has settled without it, or at the ceiling.
wine_wait_file() {
    local end=$((SECONDS + WINE_WAIT_CEILING))
    until [ -s "$1" ]; do
        if [ -z "$(wine_busy)" ]; then
            [ -s "$1" ]
            return
        fi
        if [ "$SECONDS" -ge "$end" ]; then
            echo "wine: $1 not written within ${WINE_WAIT_CEILING}s" >&2
            return 1
        fi
        sleep 0.2
    done
}
