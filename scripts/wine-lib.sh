# Helpers for running the shipped programs under Wine in a throwaway prefix.
# Source this file; it sets traps that remove the prefix when the shell exits.

export WINEDEBUG=-all
# No prompts for the .NET and HTML runtimes: nobody is there to answer them.
export WINEDLLOVERRIDES="mscoree,mshtml="

WINE_TMP=""

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
    (cd "$dir" && wine cmd /c "$(winepath -w "$bat" 2>/dev/null)" "$@" </dev/null) | tr -d '\r'
    sed -n 's/^EXITCODE=//p' "$bat.rc" | tr -d '\r' >&3
    rm -f "$bat" "$bat.rc"
}

# Sets the Windows version Wine reports (winxp, win7, win10, ...).
wine_set_version() { wine winecfg -v "$1" >/dev/null 2>&1; }

# wine_reg_import FILE : imports a .reg file into the prefix's registry.
wine_reg_import() { wine regedit /S "$(winepath -w "$1" 2>/dev/null)" >/dev/null 2>&1; }
