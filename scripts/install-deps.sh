#!/usr/bin/env bash
# Installs the build and test tools from Debian's packages. Quick and silent
# when everything is already there.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

have_cmd cmake || need+=(cmake)
have_cmd g++ || need+=(g++)
have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have_cmd i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have_cmd x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
have_cmd localedef || need+=(locales)
have_cmd zip || need+=(zip)
have_cmd unzip || need+=(unzip)
# Signed releases: Authenticode signing and verification, certificate checks.
have_cmd osslsigncode || need+=(osslsigncode)
have_cmd openssl || need+=(openssl)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg libgmock-dev || need+=(libgmock-dev)
have_pkg wine || need+=(wine)
have_pkg wine64 || need+=(wine64)
have_pkg wine32:i386 || need+=(wine32:i386)
have_cmd python3 || need+=(python3)
have_cmd clang-format || need+=(clang-format)
have_cmd clang-tidy || need+=(clang-tidy)

# The Wine runs in other Windows languages read Unix text in these locales.
make_locales() {
    local name
    for name in ru_RU hi_IN ja_JP; do
        if ! locale -a 2>/dev/null | grep -qx "$name.utf8"; then
            if [ "$(id -u)" -ne 0 ]; then
                echo "install-deps: locale $name.UTF-8 missing (run as root to make it)" >&2
                return 1
            fi
            localedef -i "$name" -f UTF-8 "$name.UTF-8" >/dev/null 2>&1 || return 1
        fi
    done
}

if [ ${#need[@]} -eq 0 ]; then
    make_locales
    exit
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${need[*]} (run as root to install them)" >&2
    exit 1
fi

echo "install-deps: installing ${need[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
make_locales
