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
wine() { "$WINELOADER" "$@"; }
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

# wine_prefix_new win32|win64 : make a fresh prefix in a new temporary folder.
wine_prefix_new() {
    local arch="$1"
    if [ "$EDITION" = x86 ]; then wine_require wow64; fi
    wine_require "$arch"
    if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -z "$WINE_TMP" ]; then
        WINE_TMP="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-wine.XXXXXX")"
        trap wine_cleanup EXIT
    fi
    export WINEARCH="$arch"
    WINELOADER="$(wine_loader_for "$arch")"
    export WINEPREFIX="$WINE_TMP/prefix-$arch-$RANDOM$RANDOM"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # A server that stays up spares every later step its start and shutdown
    # delay; the registry lives in it, so changes are seen at once.
    wineserver -p
}

# Unix path of drive C in the current prefix.
wine_drive_c() { echo "$WINEPREFIX/drive_c"; }

# wine_run_in UNIXDIR EXE [ARGS...] : runs EXE with UNIXDIR as the current
# directory. Standard output goes to our standard output with CR removed; the
# program's full 32-bit exit code is printed to fd 3 in decimal (a Linux exit
# status would keep only the low byte).
wine_run_in() {
    local dir="$1" exe="$2"
    shift 2
    local bat="$WINE_TMP/run-$$-$RANDOM.cmd"
    {
        printf '@echo off\r\n'
        printf '"%s" %%*\r\n' "$(winepath -w "$exe" 2>/dev/null)"
        printf 'echo EXITCODE=%%ERRORLEVEL%%>"%s"\r\n' "$(winepath -w "$bat.rc" 2>/dev/null)"
    } >"$bat"
    local out="$bat.out" attempt
    # Under load Wine's cmd now and then fails to start a program at all ("could not be
    # started", 9009) before any of its code runs; only that is tried again.
    for attempt in 1 2 3; do
        (cd "$dir" && wine cmd /c "$(winepath -w "$bat" 2>/dev/null)" "$@" </dev/null 2>"$out.err") |
            tr -d '\r' >"$out"
        if ! grep -q '^EXITCODE=9009' "$bat.rc" 2>/dev/null ||
            ! grep -q 'could not be started' "$out" "$out.err"; then
            break
        fi
        echo "wine_run_in: cmd could not start $exe (attempt $attempt), trying again" >&2
    done
    grep -qs '^EXITCODE=' "$bat.rc" || echo "wine_run_in: cmd left no exit code for $exe" >&2
    cat "$out"
    cat "$out.err" >&2
    sed -n 's/^EXITCODE=//p' "$bat.rc" | tr -d '\r' >&3
    rm -f "$bat" "$bat.rc" "$out" "$out.err"
}

# wine_helper COMMAND... : runs a Wine helper that changes the prefix and may be repeated
# (winecfg, reg import). Under load a Wine program now and then fails to start at all; a
# change that silently did not happen would make a later check test the wrong thing.
wine_helper() {
    local attempt
    for attempt in 1 2 3; do
        wine "$@" >/dev/null 2>&1 && return 0
        echo "wine_helper: [$*] failed (attempt $attempt)" >&2
    done
    return 1
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
    file="$(winepath -w "$1" 2>/dev/null)"
    for view in $(wine_reg_views); do
        wine_helper reg import "$file" "/reg:$view" || return 1
    done
}

# wine_reg_exists KEY : true when KEY is in the registry view of the prefix's word size.
wine_reg_exists() {
    local views
    views="$(wine_reg_views)"
    wine reg query "$1" "/reg:${views%% *}" >/dev/null 2>&1
}
