#!/usr/bin/env bash
# Bad signing inputs, one row each: every one must stop scripts/release.sh with a non-zero
# exit and exactly one line on stderr naming the problem, and leave no archive in dist/
# (an older signed archive of the same version included). Inputs that can be judged
# before the build must stop it before anything is built.
source "$(dirname "$0")/sign-test-lib.sh"
set -uo pipefail
SRC="$(cd "$(dirname "$0")/.." && pwd)"
unset IMAGEPREP_SIGN_CERT IMAGEPREP_SIGN_KEY IMAGEPREP_SIGN_PKCS12 IMAGEPREP_SIGN_PASSWORD_FILE \
    IMAGEPREP_SIGN_TIMESTAMP_URL SOURCE_DATE_EPOCH
FAILURES=0
check() {
    local what="$1"
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; FAILURES=$((FAILURES + 1)); fi
}

WORK="$(mktemp -d "${TMPDIR:-/tmp}/imageprep-sign-errors.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/src"
(cd "$SRC" && tar --exclude=./build --exclude=./dist --exclude=./.git -cf - .) | (cd "$WORK/src" && tar -xf -)
VERSION="$(sed -n 's/^project(ImagePrepTools VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")"

K="$WORK/keys"
mkdir -p "$K"
{
    signer_new "$K" signer && signer_pkcs12 "$K" signer 'right password' &&
        signer_new "$K" other &&
        signer_new "$K" noeku $'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature' &&
        signer_new "$K" server $'keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth' &&
        signer_new "$K" keyenc $'keyUsage=critical,keyEncipherment\nextendedKeyUsage=codeSigning' &&
        signer_new "$K" ca $'basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign' &&
        signer_new "$K" issued $'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning' ca &&
        printf 'wrong password\n' >"$K/wrong.pass"
} || { echo "FAIL: openssl could not make the throwaway certificates"; exit 1; }
PAIR="IMAGEPREP_SIGN_CERT=$K/signer.pem IMAGEPREP_SIGN_KEY=$K/signer.key"
P12="IMAGEPREP_SIGN_PKCS12=$K/signer.p12 IMAGEPREP_SIGN_PASSWORD_FILE=$K/signer.pass"

# when it stops (before the build / after signing) | what | environment | fragment of the line
CASES=(
    "before|only the certificate|IMAGEPREP_SIGN_CERT=$K/signer.pem|IMAGEPREP_SIGN_CERT is set but IMAGEPREP_SIGN_KEY is not"
    "before|only the key|IMAGEPREP_SIGN_KEY=$K/signer.key|IMAGEPREP_SIGN_KEY is set but IMAGEPREP_SIGN_CERT is not"
    "before|PKCS#12 without a password file|IMAGEPREP_SIGN_PKCS12=$K/signer.p12|IMAGEPREP_SIGN_PKCS12 is set but IMAGEPREP_SIGN_PASSWORD_FILE is not"
    "before|a PEM pair and a PKCS#12 at once|$PAIR $P12|not both"
    "before|a certificate file that does not exist|IMAGEPREP_SIGN_CERT=$K/missing.pem IMAGEPREP_SIGN_KEY=$K/signer.key|cannot read IMAGEPREP_SIGN_CERT file '$K/missing.pem'"
    "before|a key that is a folder|IMAGEPREP_SIGN_CERT=$K/signer.pem IMAGEPREP_SIGN_KEY=$K|cannot read IMAGEPREP_SIGN_KEY file '$K'"
    "before|an empty key file|IMAGEPREP_SIGN_CERT=$K/signer.pem IMAGEPREP_SIGN_KEY=/dev/null|cannot read IMAGEPREP_SIGN_KEY file"
    "before|certificate and key swapped|IMAGEPREP_SIGN_CERT=$K/signer.key IMAGEPREP_SIGN_KEY=$K/signer.pem|IMAGEPREP_SIGN_CERT '$K/signer.key' holds no PEM certificate"
    "before|a key of another certificate|IMAGEPREP_SIGN_CERT=$K/signer.pem IMAGEPREP_SIGN_KEY=$K/other.key|the private key does not match the signing certificate"
    "before|PKCS#12 with the wrong password|IMAGEPREP_SIGN_PKCS12=$K/signer.p12 IMAGEPREP_SIGN_PASSWORD_FILE=$K/wrong.pass|cannot open IMAGEPREP_SIGN_PKCS12"
    "before|a certificate without extended key usage|IMAGEPREP_SIGN_CERT=$K/noeku.pem IMAGEPREP_SIGN_KEY=$K/noeku.key|lacks the code-signing extended key usage"
    "before|a server certificate|IMAGEPREP_SIGN_CERT=$K/server.pem IMAGEPREP_SIGN_KEY=$K/server.key|lacks the code-signing extended key usage"
    "before|a key usage without digital signature|IMAGEPREP_SIGN_CERT=$K/keyenc.pem IMAGEPREP_SIGN_KEY=$K/keyenc.key|key usage lacks Digital Signature"
    "before|a signing time that is no number|$PAIR SOURCE_DATE_EPOCH=yesterday|SOURCE_DATE_EPOCH 'yesterday' is not a number"
    "after|a certificate whose issuer is not given|IMAGEPREP_SIGN_CERT=$K/issued.pem IMAGEPREP_SIGN_KEY=$K/issued.key|the signature of x86/Ostrelle.exe does not verify"
)

DIST="$WORK/src/dist"
BUILD="$WORK/build"
for row in "${CASES[@]}"; do
    IFS='|' read -r when what assignments fragment <<<"$row"
    read -r -a vars <<<"$assignments"
    # An archive from an earlier signed release must not survive a failed one.
    mkdir -p "$DIST"
    rm -f "$DIST"/*
    echo stale >"$DIST/imageprep-tools-$VERSION-signed.zip"
    env "${vars[@]}" bash "$WORK/src/scripts/release.sh" "$BUILD" >"$WORK/out" 2>"$WORK/err"
    status=$?
    check "$what: the release stops (exit $status)" test "$status" -ne 0
    check "$what: one line on stderr: $(head -n1 "$WORK/err")" \
        test "$(wc -l <"$WORK/err")" -eq 1 -a "$(grep -c '^release: ' "$WORK/err")" -eq 1
    check "$what: the line says '$fragment'" grep -qF -- "$fragment" "$WORK/err"
    check "$what: no archive in dist/" test -z "$(ls -A "$DIST")"
    if [ "$when" = before ]; then
        check "$what: stopped before building" test ! -e "$BUILD"
    else
        check "$what: stopped after building" test -f "$BUILD/x64/bin/Ostrelle.exe"
    fi
done

if [ "$FAILURES" -eq 0 ]; then echo "all checks passed"; exit 0; fi
echo "$FAILURES check(s) failed"
exit 1
