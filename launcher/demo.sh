# Sourced by scripts/demo.sh: stages a small sample package with QuillbeckSetup.exe in a
# fresh 32-bit prefix, then shows the setup log and the marker its install.cmd wrote.
echo "== QuillbeckSetup.exe under Wine (32-bit prefix) =="
wine_prefix_new win32
quillbeck_c="$(wine_drive_c)"
mkdir -p "$quillbeck_c/windows/Setup/Scripts" "$quillbeck_c/unzipped/drivers/net"
printf 'older script\r\n' >"$quillbeck_c/windows/Setup/Scripts/install.cmd"
printf '@echo off\r\necho install.cmd ran from %%~dp0> C:\\install-ran.txt\r\n' \
    >"$quillbeck_c/unzipped/install.cmd"
printf 'sample driver\r\n' >"$quillbeck_c/unzipped/drivers/net/sample.inf"
echo "-- package C:\\unzipped:"
(cd "$quillbeck_c/unzipped" && find . -type f | sort)
wine_run_in "$quillbeck_c" "$BIN/QuillbeckSetup.exe" 'C:\unzipped' 3>"$WINE_TMP/quillbeck.rc"
echo "-- exit code: $(cat "$WINE_TMP/quillbeck.rc")"
echo "-- C:\\ProgramData\\Orvane\\Logs\\QuillbeckSetup.log:"
tr -d '\r' <"$quillbeck_c/ProgramData/Orvane/Logs/QuillbeckSetup.log"
echo "-- staged in C:\\Windows\\Setup\\Scripts:"
(cd "$quillbeck_c/windows/Setup/Scripts" && find . -type f | sort)
# The launcher does not wait for the script; give it a moment to leave its marker.
for _ in $(seq 1 100); do
    if [ -s "$quillbeck_c/install-ran.txt" ]; then break; fi
    sleep 0.1
done
echo "-- C:\\install-ran.txt (written by the staged install.cmd):"
tr -d '\r' <"$quillbeck_c/install-ran.txt" 2>/dev/null || echo "(missing: install.cmd did not run)"
