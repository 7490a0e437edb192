#!/usr/bin/env bash
# Installs the build and test tools from Debian's packages (Debian 12 and 13). Quick and
# silent when everything is already there.
#   install-deps.sh [build] [wine] [test]     the parts to install; none named: all three
#     build  cross compilers, cmake, make, zip and the signing tools: what a release needs
#     wine   Wine, to run the programs; its 32-bit part (wine32:i386) is a step of its own
#     test   host compiler, GoogleTest, clang-format, clang-tidy, python3, the test locales
# Exit 0 when the parts asked for are there. Wine's 32-bit part alone may be missing: one
# line says why, and the 32-bit edition's Wine suites skip with that reason. Anything else
# missing ends with one line naming the packages and apt's reason, and exit 1.
#
# A package index that fails to refresh (a mirror caught mid-sync) is retried
# INSTALL_DEPS_TRIES times (3), INSTALL_DEPS_PAUSE seconds apart (20); the install then
# goes on with the indices at hand.
#
# A fault with Wine's 32-bit part that apt could not mend is remembered on the host, not in
# the clone (INSTALL_DEPS_RECORD, /var/cache/imageprep-tools/install-deps-fault). For 6 hours,
# while nothing else is missing and the package sources and their indices are as they were,
# later runs take apt's reason from there and skip the refresh and the install. A success
# forgets it; INSTALL_DEPS_RETRY=1 asks apt again now. INSTALL_DEPS_APT_LISTS and
# INSTALL_DEPS_APT_ETC read other folders than /var/lib/apt/lists and /etc/apt.
set -uo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# wine-lib.sh reads why Wine's 32-bit part is missing from here, for its skip lines.
WINE32_NOTE="$ROOT/build/wine32-missing.txt"
TRIES="${INSTALL_DEPS_TRIES:-3}"
PAUSE="${INSTALL_DEPS_PAUSE:-20}"
LOCALES=(ru_RU hi_IN ja_JP)
RECORD="${INSTALL_DEPS_RECORD:-/var/cache/imageprep-tools/install-deps-fault}"
RECORD_FIRST_LINE="install-deps fault record 1"
RECORD_LIMIT=$((6 * 3600))
APT_LISTS="${INSTALL_DEPS_APT_LISTS:-/var/lib/apt/lists}"
APT_ETC="${INSTALL_DEPS_APT_ETC:-/etc/apt}"

say() { echo "install-deps: $*" >&2; }

build_packages=(cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 zip unzip osslsigncode openssl)
wine_packages=(wine wine64)
test_packages=(g++ libgtest-dev libgmock-dev clang-format clang-tidy python3 locales)
WINE32=wine32:i386

parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(build wine test)
want=()
want_wine32=no
want_locales=no
for part in "${parts[@]}"; do
    case "$part" in
    build) want+=("${build_packages[@]}") ;;
    wine) want+=("${wine_packages[@]}") && want_wine32=yes ;;
    test) want+=("${build_packages[@]}" "${wine_packages[@]}" "${test_packages[@]}") &&
        want_wine32=yes && want_locales=yes ;;
    *)
        say "unknown part '$part' (build, wine or test)"
        exit 2
        ;;
    esac
done

# Checked as packages, never through a command that another package may also provide. One
# dpkg-query for them all: one a package costs seconds on a loaded machine. A package of the
# machine's own architecture may come back with it (clang-format:amd64).
INSTALLED="$(dpkg-query -W -f='${db:Status-Abbrev}${binary:Package}\n' "${want[@]}" "$WINE32" \
    2>/dev/null | sed -n "s/^ii //; T; s/:$(dpkg --print-architecture)\$//; p")"
installed() { [[ $'\n'"$INSTALLED"$'\n' == *$'\n'"$1"$'\n'* ]]; }

need=()
for package in $(printf '%s\n' "${want[@]}" | awk '!seen[$0]++'); do
    installed "$package" || need+=("$package")
done
need_wine32=no
if [ "$want_wine32" = yes ] && ! installed "$WINE32"; then need_wine32=yes; fi

# apt_reason LOG : apt's own reason in one line: the first unmet dependency or error.
apt_reason() {
    local line
    line="$(grep -m1 -E ' : Depends: |^E: ' "$1" | sed 's/^ *//')"
    echo "${line:-apt-get gave no reason}"
}

# sources_state : what apt's answer was decided on: the package sources, the indices' Release
# files and the foreign architectures, one line each.
sources_state() {
    local file
    for file in "$APT_LISTS"/*Release "$APT_ETC"/sources.list "$APT_ETC"/sources.list.d/*.list \
        "$APT_ETC"/sources.list.d/*.sources; do
        [ -f "$file" ] && echo "source $(sha256sum <"$file" | cut -d' ' -f1) $file"
    done
    echo "architectures $(dpkg --print-foreign-architectures | tr '\n' ' ')"
}

# remember_fault REASON : records that Wine's 32-bit part could not be installed, and why.
# Another apt holding its lock is no fault of the mirror, and is not remembered.
remember_fault() {
    local tmp=""
    if grep -q 'Could not get lock' <<<"$1"; then return; fi
    if ! { mkdir -p "$(dirname "$RECORD")" && tmp="$(mktemp "$RECORD.XXXXXX")" &&
        { echo "$RECORD_FIRST_LINE" && echo "part $WINE32" && echo "reason $1" &&
            echo "recorded $(date +%s)" && sources_state; } >"$tmp" &&
        mv -fT "$tmp" "$RECORD"; } 2>/dev/null; then
        [ -z "$tmp" ] || rm -f "$tmp"
        say "cannot keep a record of this fault in $RECORD; the next run asks apt again"
    fi
}

# forget_fault : Wine's 32-bit part is there; neither the clone's note nor the record holds.
forget_fault() {
    rm -f "$WINE32_NOTE"
    [ ! -e "$RECORD" ] || rm -f "$RECORD" 2>/dev/null ||
        say "cannot remove the record of a mended fault, $RECORD"
}

# known_fault : whether the record answers for this run: the same part failed, on the same
# sources, less than RECORD_LIMIT seconds ago. Sets KNOWN_REASON and KNOWN_WHEN.
known_fault() {
    local first part reason when state age
    [ "${INSTALL_DEPS_RETRY:-}" != 1 ] && [ -e "$RECORD" ] || return 1
    if ! { read -r first && read -r part && read -r reason && read -r when &&
        state="$(cat)"; } 2>/dev/null <"$RECORD" || [ "$first" != "$RECORD_FIRST_LINE" ] ||
        [[ ! "$part" =~ ^part\ . || ! "$reason" =~ ^reason\ . ]] ||
        [[ ! "$when" =~ ^recorded\ [0-9]{1,12}$ ]]; then
        say "ignoring $RECORD: not a record of an earlier fault that can be read"
        return 1
    fi
    age=$(($(date +%s) - ${when#recorded }))
    [ "${part#part }" = "$WINE32" ] && [ "$age" -ge 0 ] && [ "$age" -lt "$RECORD_LIMIT" ] &&
        [ "$state" = "$(sources_state)" ] || return 1
    KNOWN_REASON="${reason#reason }"
    KNOWN_WHEN="$(date -d "@${when#recorded }" '+%Y-%m-%d %H:%M %Z')"
}

REFRESH_FAILED=no
refresh_indices() {
    local try log
    log="$(mktemp)"
    for ((try = 1; try <= TRIES; try++)); do
        if apt-get update >"$log" 2>&1; then
            rm -f "$log"
            return
        fi
        say "package index refresh failed (try $try of $TRIES): $(apt_reason "$log")"
        [ "$try" -eq "$TRIES" ] || sleep "$PAUSE"
    done
    say "going on with the package indices at hand"
    REFRESH_FAILED=yes
    rm -f "$log"
}

# apt_install LOG PACKAGE... : installs with apt's progress on stderr. --no-remove: a
# dependency conflict must never make apt take away what the machine already has.
apt_install() {
    local log="$1"
    shift
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends --no-remove \
        -o Dpkg::Use-Pty=0 "$@" 2>&1 | tee "$log" | grep --line-buffered -E '^(Get:|Setting up )' >&2
    [ "${PIPESTATUS[0]}" -eq 0 ]
}

make_locales() {
    local name out
    for name in "${LOCALES[@]}"; do
        locale -a 2>/dev/null | grep -qx "$name.utf8" && continue
        if [ "$(id -u)" -ne 0 ]; then
            say "locale $name.UTF-8 missing (run as root to make it)"
            return 1
        fi
        if ! out="$(localedef -i "$name" -f UTF-8 "$name.UTF-8" 2>&1)"; then
            say "could not make locale $name.UTF-8: $(tail -n1 <<<"$out")"
            return 1
        fi
    done
}

finish() {
    if [ "$want_locales" = yes ]; then make_locales || exit 1; fi
    exit 0
}

# A run that never wants Wine leaves the note and the record alone.
if [ "$want_wine32" = yes ] && [ "$need_wine32" = no ]; then forget_fault; fi
if [ ${#need[@]} -eq 0 ] && [ "$need_wine32" = no ]; then finish; fi
if [ "$(id -u)" -ne 0 ]; then
    if [ ${#need[@]} -gt 0 ]; then
        say "missing packages: ${need[*]} (run as root to install them)"
        exit 1
    fi
    mkdir -p "$(dirname "$WINE32_NOTE")"
    echo "not installed, and only root can install it" >"$WINE32_NOTE"
    say "Wine's 32-bit part ($WINE32) is missing (run as root to install it);" \
        "the 32-bit edition's Wine suites will be skipped"
    finish
fi
if [ "$need_wine32" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
if [ ${#need[@]} -eq 0 ] && [ "$need_wine32" = yes ] && known_fault; then
    mkdir -p "$(dirname "$WINE32_NOTE")"
    echo "$KNOWN_REASON" >"$WINE32_NOTE"
    say "Wine's 32-bit part ($WINE32) cannot be installed: $KNOWN_REASON; known from the run of" \
        "$KNOWN_WHEN on the same package sources, so apt is not asked again and the 32-bit" \
        "edition's Wine suites will be skipped (INSTALL_DEPS_RETRY=1 asks again now)"
    finish
fi
refresh_indices
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if [ ${#need[@]} -gt 0 ]; then
    say "installing ${need[*]}"
    if ! apt_install "$log" "${need[@]}"; then
        say "cannot install ${need[*]}: $(apt_reason "$log")"
        exit 1
    fi
fi
if [ "$need_wine32" = yes ]; then
    say "installing $WINE32 (Wine's 32-bit part)"
    mkdir -p "$(dirname "$WINE32_NOTE")"
    if apt_install "$log" "$WINE32"; then
        forget_fault
    else
        { printf '%s' "$(apt_reason "$log")" &&
            if [ "$REFRESH_FAILED" = yes ]; then printf ' (the package indices are incomplete)'; fi &&
            echo; } >"$WINE32_NOTE"
        say "Wine's 32-bit part ($WINE32) cannot be installed: $(cat "$WINE32_NOTE");" \
            "the 32-bit edition is built, but its Wine suites will be skipped"
        remember_fault "$(cat "$WINE32_NOTE")"
    fi
fi
finish
