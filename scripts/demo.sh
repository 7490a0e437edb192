#!/usr/bin/env bash
# Builds both 32-bit programs and runs them under Wine in a throwaway prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
BIN="$PWD/build/windows/bin"
echo "Programs built into $BIN:"
ls -l "$BIN"
source scripts/wine-lib.sh
for demo in prepclient/demo.sh launcher/demo.sh; do
    if [ -f "$demo" ]; then
        echo
        source "$demo"
    fi
done
