# Helpers for running the shipped programs under Wine in a throwaway prefix.
# Source this file; it sets traps that remove the prefix when the shell exits.

export WINEDEBUG=-all
# No prompts for the .NET and HTML runtimes: nobody is there to answer them.
export WINEDLLOVERRIDES="mscoree,mshtml="

WINE_TMP=""

# Which edition the suite tests: x86 (32-bit, the default) or x64 (native 64-bit).
EDITION="${IMAGEPREP_EDITION:-x86}"

# Debian's "wine" always starts the 32-bit loader, and some hosts cannot execute 32-bit
# Linux programs at all (their kernel has IA-32 emulation switched off). There only the
# 64-bit loader works: it runs 64-bit prefixes and the x64 edition natively.
wine_host_runs_32bit() {
    if [ -z "${WINE_HOST_RUNS_32BIT:-}" ]; then
        # An emulator registered for 32-bit programs makes them start, but a hundred times
        # slower: the suites would run for hours, so that counts as "cannot".
        if grep -qs 'qemu-i386' /proc/sys/fs/binfmt_misc/*; then
            WINE_HOST_RUNS_32BIT=no
        elif timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; then
            WINE_HOST_RUNS_32BIT=yes
        else
            WINE_HOST_RUNS_32BIT=no
        fi
        export WINE_HOST_RUNS_32BIT
    fi
    [ "$WINE_HOST_RUNS_32BIT" = yes ]
}

if ! wine_host_runs_32bit; then
    export WINELOADER=/usr/lib/wine/wine64
    wine() { /usr/lib/wine/wine64 "$@"; }
    winepath() { /usr/lib/wine/wine64 winepath "$@"; }
    wineboot() { /usr/lib/wine/wine64 wineboot "$@"; }
fi

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
        echo "SKIP: this host cannot execute 32-bit programs (its kernel has IA-32 emulation off)"
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
    cat "$out"
    cat "$out.err" >&2
    sed -n 's/^EXITCODE=//p' "$bat.rc" | tr -d '\r' >&3
    rm -f "$bat" "$bat.rc" "$out" "$out.err"
}

# Sets the Windows version Wine reports (winxp, win7, win10, ...).
wine_set_version() { wine winecfg -v "$1" >/dev/null 2>&1; }

# wine_reg_import FILE : imports a .reg file into the prefix's registry.
wine_reg_import() { wine regedit /S "$(winepath -w "$1" 2>/dev/null)" >/dev/null 2>&1; }
