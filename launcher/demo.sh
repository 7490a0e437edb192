# Sourced by scripts/demo.sh: stages a small sample package with QuillbeckSetup.exe, the
# x64 edition in a fresh 64-bit prefix and the 32-bit edition in a 32-bit one where this
# host can run it, then shows the setup log and what the staged install.cmd recorded.
quillbeck_demo() {
    local bin="$1" arch="$2"
    wine_prefix_new "$arch"
    local c
    c="$(wine_drive_c)"
    mkdir -p "$c/windows/Setup/Scripts" "$c/unzipped/drivers/net"
    printf 'older script\r\n' >"$c/windows/Setup/Scripts/install.cmd"
    printf '@echo off\r\necho install.cmd ran from %%~dp0 on %%PROCESSOR_ARCHITECTURE%%> C:\\install-ran.txt\r\n' \
        >"$c/unzipped/install.cmd"
    printf 'sample driver\r\n' >"$c/unzipped/drivers/net/sample.inf"
    echo "-- package C:\\unzipped:"
    (cd "$c/unzipped" && find . -type f | sort)
    # The runner returns once the install.cmd the launcher started has ended too.
    wine_run "$c" "$bin/QuillbeckSetup.exe" 'C:\unzipped'
    echo "-- exit code: $WINE_RC"
    echo "-- C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log:"
    tr -d '\r' <"$c/ProgramData/Orvane/Logs/QuillbeckSetup.log"
    echo "-- staged in C:\\Windows\\Setup\\Scripts:"
    (cd "$c/windows/Setup/Scripts" && find . -type f | sort)
    echo "-- C:\\install-ran.txt (written by the staged install.cmd):"
    tr -d '\r' <"$c/install-ran.txt" 2>/dev/null || echo "(missing: install.cmd did not run)"
}

echo "== QuillbeckSetup.exe x64 under Wine (64-bit prefix) =="
EDITION=x64 quillbeck_demo "$BIN_X64" win64
echo
if wine_host_runs_32bit; then
    echo "== QuillbeckSetup.exe 32-bit under Wine (32-bit prefix) =="
    EDITION=x86 quillbeck_demo "$BIN" win32
else
    echo "== QuillbeckSetup.exe 32-bit: not shown: $WINE_HOST_32BIT_WHY =="
fi
