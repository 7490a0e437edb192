#!/usr/bin/env bash
# Builds both programs in both editions and runs them under Wine in throwaway prefixes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build wine
for preset in windows windows-x64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" >/dev/null
    echo "Programs built into $PWD/build/$preset/bin:"
    ls -l "build/$preset/bin"
done
BIN="$PWD/build/windows/bin"
BIN_X64="$PWD/build/windows-x64/bin"
source scripts/wine-lib.sh
for demo in prepclient/demo.sh launcher/demo.sh; do
    if [ -f "$demo" ]; then
        echo
        source "$demo"
    fi
done
