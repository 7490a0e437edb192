#!/usr/bin/env bash
# Builds both editions of both programs from a clean build folder and packs them with the
# usage text and their SHA256SUMS into dist/imageprep-tools-<version>.zip. The archive is
# the same bytes for the same commit: fixed times, sorted entries, no extra attributes.
#   scripts/release.sh [--keep-build] [BUILD_ROOT]   (default: build/release; emptied first)
# --keep-build builds incrementally in BUILD_ROOT instead of emptying it.
#
# Signed release: with IMAGEPREP_SIGN_CERT (PEM certificate, signer first, then its chain)
# and IMAGEPREP_SIGN_KEY (its PEM private key), or IMAGEPREP_SIGN_PKCS12 with
# IMAGEPREP_SIGN_PASSWORD_FILE, every program gets an Authenticode signature (SHA-256)
# before the sums are written, each signature is verified, and the archive is
# dist/imageprep-tools-<version>-signed.zip. IMAGEPREP_SIGN_PASSWORD_FILE also opens an
# encrypted PEM key. The signing time is SOURCE_DATE_EPOCH, else the commit's time.
# IMAGEPREP_SIGN_TIMESTAMP_URL adds an RFC 3161 timestamp from that server.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
KEEP_BUILD=no
if [ "${1:-}" = --keep-build ]; then KEEP_BUILD=yes; shift; fi
BUILD="${1:-$ROOT/build/release}"
bash scripts/install-deps.sh build

die() { echo "release: $*" >&2; exit 1; }

VERSION="$(sed -n 's/^project(ImagePrepTools VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$VERSION" ] || die "no project version in CMakeLists.txt"
# The entries' time: the commit's, so that a rebuild of one commit is the same archive.
STAMP="$(git log -1 --format=%cd --date=format-local:%Y%m%d%H%M.%S 2>/dev/null || echo 202001010000.00)"

# --- Signing inputs: checked before anything is built --------------------------------
SIGN=no
SIGN_WORK=""
PARTIAL=""
cleanup() {
    [ -z "$SIGN_WORK" ] || rm -rf "$SIGN_WORK"
    [ -z "$PARTIAL" ] || rm -f "$PARTIAL"
}
trap cleanup EXIT

CERT="${IMAGEPREP_SIGN_CERT:-}"
KEY="${IMAGEPREP_SIGN_KEY:-}"
P12="${IMAGEPREP_SIGN_PKCS12:-}"
PASSFILE="${IMAGEPREP_SIGN_PASSWORD_FILE:-}"
if [ -n "$CERT$KEY$P12$PASSFILE" ]; then SIGN=yes; fi
ZIP="$ROOT/dist/imageprep-tools-$VERSION.zip"
[ "$SIGN" = no ] || ZIP="$ROOT/dist/imageprep-tools-$VERSION-signed.zip"
# A release that fails leaves no archive of its kind behind, not even an older one.
rm -f "$ZIP"

# require_readable VAR PATH
require_readable() {
    [ -f "$2" ] && [ -r "$2" ] && head -c 1 "$2" >/dev/null 2>&1 ||
        die "cannot read $1 file '$2'"
}

check_signer() {
    if [ -n "$P12" ]; then
        [ -z "$CERT$KEY" ] ||
            die "set either IMAGEPREP_SIGN_CERT and IMAGEPREP_SIGN_KEY or IMAGEPREP_SIGN_PKCS12, not both"
        [ -n "$PASSFILE" ] || die "IMAGEPREP_SIGN_PKCS12 is set but IMAGEPREP_SIGN_PASSWORD_FILE is not"
    else
        [ -n "$CERT" ] || [ -z "$KEY" ] || die "IMAGEPREP_SIGN_KEY is set but IMAGEPREP_SIGN_CERT is not"
        [ -n "$KEY" ] || [ -z "$CERT" ] || die "IMAGEPREP_SIGN_CERT is set but IMAGEPREP_SIGN_KEY is not"
        [ -n "$CERT" ] ||
            die "IMAGEPREP_SIGN_PASSWORD_FILE is set but neither IMAGEPREP_SIGN_CERT nor IMAGEPREP_SIGN_PKCS12"
    fi
    local var
    for var in IMAGEPREP_SIGN_CERT IMAGEPREP_SIGN_KEY IMAGEPREP_SIGN_PKCS12 IMAGEPREP_SIGN_PASSWORD_FILE; do
        [ -z "${!var:-}" ] || require_readable "$var" "${!var}"
    done
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
        [[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH '$SOURCE_DATE_EPOCH' is not a number of seconds"
    fi

    SIGN_WORK="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-sign.XXXXXX")"
    local passin=() key_pub cert_pub
    [ -z "$PASSFILE" ] || passin=(-passin "file:$PASSFILE")
    # CHAIN: every certificate given, signer first; LEAF: the signer. Public data only:
    # the private key is read where it lies and never copied.
    if [ -n "$P12" ]; then
        # Older PKCS#12 files use ciphers that OpenSSL 3 keeps in its legacy provider.
        local legacy=()
        openssl pkcs12 -in "$P12" "${passin[@]}" -noout 2>/dev/null || legacy=(-legacy)
        openssl pkcs12 "${legacy[@]}" -in "$P12" "${passin[@]}" -nokeys -clcerts -out "$SIGN_WORK/leaf.pem" \
            2>/dev/null &&
            openssl pkcs12 "${legacy[@]}" -in "$P12" "${passin[@]}" -nokeys -out "$SIGN_WORK/chain.pem" 2>/dev/null ||
            die "cannot open IMAGEPREP_SIGN_PKCS12 '$P12' with the password in IMAGEPREP_SIGN_PASSWORD_FILE"
        key_pub="$(openssl pkcs12 "${legacy[@]}" -in "$P12" "${passin[@]}" -nocerts -nodes 2>/dev/null |
            openssl pkey -pubout 2>/dev/null)" || key_pub=""
        [ -n "$key_pub" ] || die "IMAGEPREP_SIGN_PKCS12 '$P12' holds no private key"
    else
        openssl x509 -in "$CERT" -out "$SIGN_WORK/leaf.pem" 2>/dev/null ||
            die "IMAGEPREP_SIGN_CERT '$CERT' holds no PEM certificate"
        sed -n '/^-----BEGIN CERTIFICATE-----/,/^-----END CERTIFICATE-----/p' "$CERT" >"$SIGN_WORK/chain.pem"
        key_pub="$(openssl pkey -in "$KEY" "${passin[@]}" -pubout 2>/dev/null)" ||
            die "IMAGEPREP_SIGN_KEY '$KEY' is no PEM private key that opens (encrypted? then IMAGEPREP_SIGN_PASSWORD_FILE)"
    fi
    openssl x509 -in "$SIGN_WORK/leaf.pem" -noout 2>/dev/null || die "the signing certificate cannot be read"
    cert_pub="$(openssl x509 -in "$SIGN_WORK/leaf.pem" -noout -pubkey)"
    [ "$key_pub" = "$cert_pub" ] || die "the private key does not match the signing certificate"

    local eku ku
    eku="$(openssl x509 -in "$SIGN_WORK/leaf.pem" -noout -ext extendedKeyUsage 2>/dev/null)" || eku=""
    grep -q 'Code Signing' <<<"$eku" ||
        die "the signing certificate lacks the code-signing extended key usage (1.3.6.1.5.5.7.3.3)"
    ku="$(openssl x509 -in "$SIGN_WORK/leaf.pem" -noout -ext keyUsage 2>/dev/null)" || ku=""
    [ -z "$ku" ] || grep -q 'Digital Signature' <<<"$ku" ||
        die "the signing certificate's key usage lacks Digital Signature"

    # The signature is verified against the given chain and the system's roots.
    [ ! -r /etc/ssl/certs/ca-certificates.crt ] || cat /etc/ssl/certs/ca-certificates.crt >>"$SIGN_WORK/chain.pem"
    LEAF_HASH="$(openssl x509 -in "$SIGN_WORK/leaf.pem" -outform DER | sha256sum | cut -d' ' -f1)"
    SIGN_TIME="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1577836800)}"
}
[ "$SIGN" = no ] || check_signer

# The build is offline: osslsigncode 2.6 and later would fetch each certificate's CRL
# distribution points while verifying unless told not to. Debian 12's 2.5 never fetches
# them and does not know the option.
NO_CDP=()
if osslsigncode --help 2>&1 | grep -q -- '-ignore-cdp'; then NO_CDP=(-ignore-cdp); fi

# why_not_verified LOG : osslsigncode's reason, without OpenSSL's error-stack prefix.
why_not_verified() {
    local why
    why="$(sed -n 's/.*Verify error: *//p' "$1" | head -n1)"
    [ -n "$why" ] || why="$(grep -iE 'error|fail|mismatch|unable' "$1" | grep -vx 'Failed' | head -n1 |
        sed 's/^[0-9A-F]*:error:[^:]*:[^:]*:[^:]*://')"
    echo "${why:-see osslsigncode verify}"
}

# sign_program UNSIGNED SIGNED DESCRIPTION
sign_program() {
    local in="$1" out="$2" desc="$3" signer=() ts=()
    if [ -n "$P12" ]; then signer=(-pkcs12 "$P12"); else signer=(-certs "$CERT" -key "$KEY"); fi
    [ -z "$PASSFILE" ] || signer+=(-readpass "$PASSFILE")
    [ -z "${IMAGEPREP_SIGN_TIMESTAMP_URL:-}" ] || ts=(-ts "$IMAGEPREP_SIGN_TIMESTAMP_URL")
    local name="${out#"$STAGE"/}" log="$SIGN_WORK/osslsigncode.log"
    osslsigncode sign "${signer[@]}" -h sha256 -n "$desc" -time "$SIGN_TIME" "${ts[@]}" \
        -in "$in" -out "$out" >"$log" 2>&1 ||
        die "osslsigncode could not sign $name: $(grep -v '^[0-9A-F]*:error:' "$log" | grep . | head -n1)"
    osslsigncode verify -CAfile "$SIGN_WORK/chain.pem" "${NO_CDP[@]}" \
        -require-leaf-hash "sha256:$LEAF_HASH" -in "$out" >"$log" 2>&1 ||
        die "the signature of $name does not verify against the given chain and the system's roots: $(
            why_not_verified "$log")"
}

# --- Build ----------------------------------------------------------------------------
[ "$KEEP_BUILD" = yes ] || rm -rf "$BUILD"
build_edition() {
    local toolchain="$1" dir="$BUILD/$2"
    cmake -S "$ROOT" -B "$dir" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" >/dev/null
    cmake --build "$dir" --target Ostrelle QuillbeckSetup -j 2 >/dev/null
}
build_edition mingw-i686.cmake x86
build_edition mingw-x86_64.cmake x64

STAGE="$BUILD/stage"
rm -rf "$STAGE"
mkdir -p "$STAGE/x86" "$STAGE/x64"
for edition in x86 x64; do
    if [ "$SIGN" = yes ]; then
        sign_program "$BUILD/$edition/bin/Ostrelle.exe" "$STAGE/$edition/Ostrelle.exe" \
            "Image preparation client"
        sign_program "$BUILD/$edition/bin/QuillbeckSetup.exe" "$STAGE/$edition/QuillbeckSetup.exe" \
            "Quillbeck setup launcher"
    else
        cp "$BUILD/$edition/bin/Ostrelle.exe" "$BUILD/$edition/bin/QuillbeckSetup.exe" "$STAGE/$edition/"
    fi
done
{
    sed "s/@VERSION@/$VERSION/g" scripts/release-readme.txt
    if [ "$SIGN" = yes ]; then
        echo "Check the signatures on Windows:  Get-AuthenticodeSignature x64\\*.exe, x86\\*.exe"
        echo "(status Valid), or in each program's Properties, Digital Signatures tab."
    fi
} | sed 's/$/\r/' >"$STAGE/README.txt"
(cd "$STAGE" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
    xargs sha256sum >SHA256SUMS)

export TZ=UTC
find "$STAGE" -exec touch -h -d "${STAMP:0:8} ${STAMP:8:2}:${STAMP:10:2}:${STAMP:13:2}" {} +
chmod 644 "$STAGE"/*.txt "$STAGE/SHA256SUMS" "$STAGE"/x86/* "$STAGE"/x64/*
mkdir -p dist
# Written under another name first: an interrupted run leaves no half archive.
PARTIAL="$ZIP.part"
rm -f "$PARTIAL"
(cd "$STAGE" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | zip -X -D -q "$PARTIAL" -@)
mv "$PARTIAL" "$ZIP"
PARTIAL=""
echo "$ZIP"
sha256sum "$ZIP" | sed "s|$ROOT/||"
