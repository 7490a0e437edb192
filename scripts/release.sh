#!/usr/bin/env bash
# Builds both editions of both programs from a clean build folder and packs them with the
# usage text and their SHA256SUMS into dist/imageprep-tools-<version>.zip. The archive is
# the same bytes for the same commit: fixed times, sorted entries, no extra attributes.
#   scripts/release.sh [BUILD_ROOT]   (default: build/release; emptied first)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
BUILD="${1:-$ROOT/build/release}"
bash scripts/install-deps.sh

VERSION="$(sed -n 's/^project(ImagePrepTools VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$VERSION" ] || { echo "release: no project version in CMakeLists.txt" >&2; exit 1; }
# The entries' time: the commit's, so that a rebuild of one commit is the same archive.
STAMP="$(git log -1 --format=%cd --date=format-local:%Y%m%d%H%M.%S 2>/dev/null || echo 202001010000.00)"

rm -rf "$BUILD"
build_edition() {
    local toolchain="$1" dir="$BUILD/$2"
    cmake -S "$ROOT" -B "$dir" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" >/dev/null
    cmake --build "$dir" --target Ostrelle QuillbeckSetup -j 2 >/dev/null
}
build_edition mingw-i686.cmake x86
build_edition mingw-x86_64.cmake x64

STAGE="$BUILD/stage"
mkdir -p "$STAGE/x86" "$STAGE/x64"
for edition in x86 x64; do
    cp "$BUILD/$edition/bin/Ostrelle.exe" "$BUILD/$edition/bin/QuillbeckSetup.exe" "$STAGE/$edition/"
done
sed "s/@VERSION@/$VERSION/g" scripts/release-readme.txt | sed 's/$/\r/' >"$STAGE/README.txt"
(cd "$STAGE" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
    xargs sha256sum >SHA256SUMS)

export TZ=UTC
find "$STAGE" -exec touch -h -d "${STAMP:0:8} ${STAMP:8:2}:${STAMP:10:2}:${STAMP:13:2}" {} +
chmod 644 "$STAGE"/*.txt "$STAGE/SHA256SUMS" "$STAGE"/x86/* "$STAGE"/x64/*
mkdir -p dist
ZIP="$ROOT/dist/imageprep-tools-$VERSION.zip"
rm -f "$ZIP"
(cd "$STAGE" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | zip -X -D -q "$ZIP" -@)
echo "$ZIP"
sha256sum "$ZIP" | sed "s|$ROOT/||"
