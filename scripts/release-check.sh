#!/usr/bin/env bash
# Builds the release twice, from two copies of the source tree in two different folders,
# with this machine's compilers, and requires byte-identical programs and archive (another
# compiler release gives other bytes, so reproducibility is a promise per toolchain); then unpacks the archive, checks its
# SHA256SUMS and runs the programs from it under Wine. Then signs the same builds with a
# throwaway certificate (PEM in both folders, then PKCS#12 and an encrypted PEM key) and
# requires identical signed programs and archive, signatures that verify, programs that
# differ from the unsigned ones only by the signature, and runs the signed x64 programs.
source "$(dirname "$0")/wine-lib.sh"
source "$(dirname "$0")/sign-test-lib.sh"
set -uo pipefail
# The unsigned release is built without any signer the caller's environment may name.
unset IMAGEPREP_SIGN_CERT IMAGEPREP_SIGN_KEY IMAGEPREP_SIGN_PKCS12 IMAGEPREP_SIGN_PASSWORD_FILE \
    IMAGEPREP_SIGN_TIMESTAMP_URL
SRC="$(cd "$(dirname "$0")/.." && pwd)"
FAILURES=0
check() {
    local what="$1"
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; FAILURES=$((FAILURES + 1)); fi
}

WORK="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-release.XXXXXX")"
# The Wine prefixes live in WORK too: with WINE_TMP set, wine_prefix_new keeps this trap
# instead of putting its own in place, so WORK (builds, throwaway keys) is always removed.
WINE_TMP="$WORK/wine"
mkdir -p "$WINE_TMP"
trap 'wine_cleanup; rm -rf "$WORK"' EXIT
for copy in one two-other-folder; do
    mkdir -p "$WORK/$copy/src"
    (cd "$SRC" && tar --exclude=./build --exclude=./dist --exclude=./.git -cf - .) |
        (cd "$WORK/$copy/src" && tar -xf -)
    bash "$WORK/$copy/src/scripts/release.sh" "$WORK/$copy/build" >"$WORK/$copy.log" 2>&1 ||
        { cat "$WORK/$copy.log"; echo "FAIL: release build in $copy"; exit 1; }
done
VERSION="$(sed -n 's/^project(ImagePrepTools VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")"
ZIP="dist/imageprep-tools-$VERSION.zip"
PROGRAMS="x86/Ostrelle.exe x86/QuillbeckSetup.exe x64/Ostrelle.exe x64/QuillbeckSetup.exe"
hashes() {
    # shellcheck disable=SC2086
    (cd "$WORK/$1/build/stage" && sha256sum $PROGRAMS)
    (cd "$WORK/$1/src" && sha256sum "${2:-$ZIP}")
}
hashes one >"$WORK/one.sums"
hashes two-other-folder >"$WORK/two.sums"
cat "$WORK/one.sums"
check "two builds from two folders give the same four programs and the same archive" \
    cmp -s "$WORK/one.sums" "$WORK/two.sums"
check "no build folder in any program" \
    bash -c "! grep -rl -e '$WORK' '$WORK/one/build/stage' '$WORK/two-other-folder/build/stage'"
for exe in "$WORK"/one/build/stage/*/*.exe; do
    stamp="$(objdump -p "$exe" 2>/dev/null | sed -n 's/^Time\/Date[[:space:]]*//p')"
    [ -n "$stamp" ] || stamp="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Time\/Date[[:space:]]*//p')"
    check "no link time stamp in ${exe#"$WORK"/one/build/stage/} ($stamp)" grep -q '1970' <<<"$stamp"
done

# unpack_checked DIR ZIP WHAT : unpacks ZIP into DIR; it must hold both editions of both
# programs, the usage and the sums, and the sums must hold.
unpack_checked() {
    mkdir -p "$1"
    (cd "$1" && unzip -q "$WORK/one/src/$2")
    check "the $3 holds both editions of both programs, the usage and the sums" \
        test "$(cd "$1" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = \
        "./README.txt ./SHA256SUMS ./x64/Ostrelle.exe ./x64/QuillbeckSetup.exe ./x86/Ostrelle.exe ./x86/QuillbeckSetup.exe "
    check "SHA256SUMS of the $3 lists every other file" test "$(wc -l <"$1/SHA256SUMS")" -eq 5
    check "sha256sum -c SHA256SUMS passes on the $3" bash -c "cd '$1' && sha256sum --strict -c SHA256SUMS"
}

UNPACKED="$WORK/unpacked"
unpack_checked "$UNPACKED" "$ZIP" archive
check "the usage names the version" grep -q "$VERSION" "$UNPACKED/README.txt"
# Each program without its signature stays within 350 KB, whichever supported compiler
# built it: their sizes differ by tens of kilobytes from one compiler release to the next.
SIZE_LIMIT=358400
for program in $PROGRAMS; do
    size="$(stat -c %s "$UNPACKED/$program")"
    check "unsigned $program is $size bytes, at most $SIZE_LIMIT" test "$size" -le "$SIZE_LIMIT"
    check "unsigned $program has no signature" \
        bash -c "! osslsigncode extract-signature -in '$UNPACKED/$program' -out '$WORK/none.sig' >/dev/null 2>&1"
done

# --- The same builds, signed ----------------------------------------------------------
KEYS="$WORK/keys"
mkdir -p "$KEYS"
signer_new "$KEYS" signer && signer_pkcs12 "$KEYS" signer 'pass word' && signer_new "$KEYS" other &&
    openssl pkey -in "$KEYS/signer.key" -aes256 -passout "file:$KEYS/signer.pass" -out "$KEYS/locked.key" ||
    { echo "FAIL: openssl could not make the throwaway certificates"; exit 1; }
# A fixed signing time, not the commit's: the signed programs must carry exactly this one.
EPOCH=1700000000
SIGNED_ZIP="dist/imageprep-tools-$VERSION-signed.zip"
signed_release() {
    local copy="$1"
    shift
    env SOURCE_DATE_EPOCH="$EPOCH" "$@" bash "$WORK/$copy/src/scripts/release.sh" --keep-build \
        "$WORK/$copy/build" >"$WORK/$copy-signed.log" 2>&1 ||
        { cat "$WORK/$copy-signed.log"; echo "FAIL: signed release in $copy"; exit 1; }
}
PEM_SIGNER=(IMAGEPREP_SIGN_CERT="$KEYS/signer.pem" IMAGEPREP_SIGN_KEY="$KEYS/signer.key")
signed_release one "${PEM_SIGNER[@]}"
signed_release two-other-folder "${PEM_SIGNER[@]}"
hashes one "$SIGNED_ZIP" >"$WORK/one-signed.sums"
hashes two-other-folder "$SIGNED_ZIP" >"$WORK/two-signed.sums"
cat "$WORK/one-signed.sums"
check "two signed builds from two folders give the same four programs and the same archive" \
    cmp -s "$WORK/one-signed.sums" "$WORK/two-signed.sums"
signed_release two-other-folder IMAGEPREP_SIGN_PKCS12="$KEYS/signer.p12" \
    IMAGEPREP_SIGN_PASSWORD_FILE="$KEYS/signer.pass"
hashes two-other-folder "$SIGNED_ZIP" >"$WORK/two-p12.sums"
check "signing with the PKCS#12 form of the same signer gives the same archive" \
    cmp -s "$WORK/one-signed.sums" "$WORK/two-p12.sums"
signed_release two-other-folder IMAGEPREP_SIGN_CERT="$KEYS/signer.pem" \
    IMAGEPREP_SIGN_KEY="$KEYS/locked.key" IMAGEPREP_SIGN_PASSWORD_FILE="$KEYS/signer.pass"
hashes two-other-folder "$SIGNED_ZIP" >"$WORK/two-locked.sums"
check "signing with the encrypted PEM key and its password file gives the same archive" \
    cmp -s "$WORK/one-signed.sums" "$WORK/two-locked.sums"
check "the unsigned archive is still there, unchanged" \
    cmp -s <(tail -n1 "$WORK/one.sums") <(cd "$WORK/one/src" && sha256sum "$ZIP")

# pe_checksum_right VERIFY_LOG : osslsigncode 2.9 prints one "PE checksum" line when the
# checksum is right and a current and a calculated one when not; 2.5 always prints both.
pe_checksum_right() {
    grep -qE '^PE checksum +: [0-9A-F]{8}' "$1" && return 0
    local current calculated
    current="$(sed -n 's/^Current PE checksum *: *\([0-9A-F]\{8\}\).*/\1/p' "$1")"
    calculated="$(sed -n 's/^Calculated PE checksum *: *\([0-9A-F]\{8\}\).*/\1/p' "$1")"
    [ -n "$current" ] && [ "$current" = "$calculated" ]
}

SIGNED="$WORK/unpacked-signed"
unpack_checked "$SIGNED" "$SIGNED_ZIP" "signed archive"
LEAF="sha256:$(openssl x509 -in "$KEYS/signer.pem" -outform DER | sha256sum | cut -d' ' -f1)"
SIGNING_TIME="$(TZ=UTC LC_ALL=C date -u -d "@$EPOCH" '+%b %e %H:%M:%S %Y GMT')"
for program in $PROGRAMS; do
    case "$program" in
        */Ostrelle.exe) description="Image preparation client" ;;
        *) description="Quillbeck setup launcher" ;;
    esac
    osslsigncode verify -CAfile "$KEYS/signer.pem" -require-leaf-hash "$LEAF" \
        -in "$SIGNED/$program" >"$WORK/verify.log" 2>&1
    check "$program: osslsigncode verify passes against the signer's certificate" test $? -eq 0
    check "$program: SHA-256, description '$description', signing time $SIGNING_TIME" \
        bash -c "grep -q '^Message digest algorithm  : SHA256' '$WORK/verify.log' &&
            grep -qF 'Text description: $description' '$WORK/verify.log' &&
            grep -qF 'Signing time: $SIGNING_TIME' '$WORK/verify.log'"
    check "$program: verify fails against another certificate" bash -c \
        "! osslsigncode verify -CAfile '$KEYS/other.pem' -in '$SIGNED/$program' >/dev/null 2>&1"
    check "$program: its PE checksum is right" pe_checksum_right "$WORK/verify.log"
    # The PE shape: osslsigncode's removal of the signature (the security directory entry,
    # the certificate table and its padding) gives the unsigned bytes back, so nothing
    # else of the program changed; the verify above fails on data after the signature.
    osslsigncode remove-signature -in "$SIGNED/$program" -out "$WORK/removed.exe" >/dev/null 2>&1
    check "$program: without its signature it is the unsigned program byte for byte" \
        cmp -s "$WORK/removed.exe" "$UNPACKED/$program"
    rm -f "$WORK/removed.exe"
done

# The programs from the archive run: the client gives its code, the launcher stages. The
# harness's probes come from the release's own build trees, one for each edition.
for edition in x86 x64; do
    cmake --build "$WORK/one/build/$edition" --target probe_run probe_reg -j 2 >/dev/null ||
        { echo "FAIL: the probes of the $edition build"; exit 1; }
done
# run_from_archive EDITION ARCH [UNPACKED_DIR [LABEL]]
run_from_archive() {
    local edition="$1" arch="$2" dir="${3:-$UNPACKED}"
    local label="$edition${4:+ $4}" program
    wine_prefix_new "$arch"
    local c="$WINEPREFIX/drive_c"
    mkdir -p "$c/windows/Setup" "$c/pkg"
    printf '@echo off\r\n' >"$c/pkg/install.cmd"
    for program in Ostrelle QuillbeckSetup; do
        wine_run "$c" "$dir/$edition/$program.exe" '/?'
        check "$label $program /? from the archive prints the version" grep -qF "$VERSION" "$WINE_OUT"
    done
    wine_run "$c" "$dir/$edition/Ostrelle.exe"
    check "$label Ostrelle from the archive prints its code" grep -q '^OperatingSystem: ' "$WINE_OUT"
    check "$label Ostrelle from the archive writes OSType.txt" test -s "$c/OSType.txt"
    wine_run "$c" "$dir/$edition/QuillbeckSetup.exe" 'C:\pkg'
    check "$label QuillbeckSetup from the archive exits 0" test "$WINE_RC" -eq 0
    check "$label QuillbeckSetup from the archive staged the package" \
        test -f "$c/windows/Setup/Scripts/install.cmd"
}
X64_PROBES="$WORK/one/build/x64/probes"
EDITION=x64 IMAGEPREP_PROBES="$X64_PROBES" run_from_archive x64 win64
EDITION=x64 IMAGEPREP_PROBES="$X64_PROBES" run_from_archive x64 win64 "$SIGNED" signed
if wine_host_runs_32bit; then
    EDITION=x86 IMAGEPREP_PROBES="$WORK/one/build/x86/probes" run_from_archive x86 win32
else
    echo "note: this host cannot run the 32-bit programs; only the x64 ones were run"
fi

if [ "$FAILURES" -eq 0 ]; then echo "all checks passed"; exit 0; fi
echo "$FAILURES check(s) failed"
exit 1
