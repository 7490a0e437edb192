#!/usr/bin/env bash
# Table test of install-deps.sh against stand-in apt-get, dpkg-query, dpkg, id, locale and
# localedef on PATH: nothing is installed for real. Each row sets up what the machine has
# and what the mirror does, then requires a line on stderr, the exit code and the packages
# apt-get was asked for.
set -uo pipefail
SRC="$(cd "$(dirname "$0")/.." && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
FAKES="$WORK/bin"
mkdir -p "$FAKES"

# The stand-ins keep the machine's state in $STATE: installed (one package a line),
# update-fails (how many more refreshes fail), broken (package<TAB>apt's reason), uid,
# locales, localedef-fails, calls (every apt-get call).
cat >"$FAKES/dpkg-query" <<'EOF'
#!/usr/bin/env bash
rc=0
for name in "${@:3}"; do
    # Multi-arch packages come back with the machine's architecture.
    line="$(awk -v n="$name" '$0 == n || $0 == n ":amd64" { print; exit }' "$STATE/installed")"
    if [ -n "$line" ]; then
        echo "ii $line"
    else
        echo "dpkg-query: no packages found matching $name" >&2
        rc=1
    fi
done
exit $rc
EOF
cat >"$FAKES/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STATE/calls"
if [ "$1" = update ]; then
    left="$(cat "$STATE/update-fails")"
    if [ "$left" -gt 0 ]; then
        echo $((left - 1)) >"$STATE/update-fails"
        echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi
    exit 0
fi
packages=()
for arg in "$@"; do case "$arg" in install | -* | Dpkg::*) ;; *) packages+=("$arg") ;; esac; done
for package in "${packages[@]}"; do
    reason="$(awk -F'\t' -v p="$package" '$1 == p { print $2 }' "$STATE/broken")"
    if [ -n "$reason" ]; then
        echo "Some packages could not be installed."
        echo "$reason"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
    fi
done
for package in "${packages[@]}"; do
    echo "Get:1 http://mirror/debian bookworm/main $package"
    echo "Setting up $package ..."
    echo "$package" >>"$STATE/installed"
done
EOF
cat >"$FAKES/dpkg" <<'EOF'
#!/usr/bin/env bash
[ "$1" = --print-foreign-architectures ] && exit 0
[ "$1" = --print-architecture ] && echo amd64 && exit 0
echo "dpkg $*" >>"$STATE/calls"
EOF
cat >"$FAKES/id" <<'EOF'
#!/usr/bin/env bash
cat "$STATE/uid"
EOF
cat >"$FAKES/locale" <<'EOF'
#!/usr/bin/env bash
cat "$STATE/locales"
EOF
cat >"$FAKES/localedef" <<'EOF'
#!/usr/bin/env bash
if [ -s "$STATE/localedef-fails" ]; then cat "$STATE/localedef-fails" >&2; exit 4; fi
echo "$2.utf8" >>"$STATE/locales"
EOF
cat >"$FAKES/sleep" <<'EOF'
#!/usr/bin/env bash
echo "sleep $*" >>"$STATE/calls"
EOF
chmod +x "$FAKES"/*

BUILD_SET="cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix
binutils-mingw-w64-x86-64 zip unzip osslsigncode openssl"
WINE_SET="wine wine64"
TEST_SET="g++ libgtest-dev libgmock-dev clang-format clang-tidy python3 locales"
EVERYTHING="$BUILD_SET $WINE_SET $TEST_SET wine32:i386"
WINE32_BROKEN="wine32:i386	 wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"

# without PACKAGE : every package but that one.
without() { tr ' \n' '\n\n' <<<"$EVERYTHING" | grep -vxF "$1" | tr '\n' ' '; }

failures=0
rows=0
# row NAME ARGS INSTALLED UPDATE_FAILS BROKEN UID LOCALES_MADE EXPECTED_EXIT EXPECTED_LINE
#     ASKED NOT_ASKED
# INSTALLED: packages already there; BROKEN: package<TAB>reason lines; ASKED: packages
# that must be in an apt-get install call; NOT_ASKED: packages that must be in none.
row() {
    local name="$1" args="$2" have="$3" fails="$4" broken="$5" uid="$6" locales="$7"
    local want_rc="$8" want_line="$9" asked="${10}" not_asked="${11}"
    rows=$((rows + 1))
    export STATE="$WORK/state-$rows"
    mkdir -p "$STATE" "$WORK/root-$rows/scripts"
    cp "$SRC/scripts/install-deps.sh" "$WORK/root-$rows/scripts/"
    tr ' ' '\n' <<<"$have" | sed '/^$/d' >"$STATE/installed"
    echo "$fails" >"$STATE/update-fails"
    printf '%s\n' "$broken" >"$STATE/broken"
    echo "$uid" >"$STATE/uid"
    : >"$STATE/calls"
    : >"$STATE/localedef-fails"
    if [ "$locales" = made ]; then
        printf 'C.utf8\nru_RU.utf8\nhi_IN.utf8\nja_JP.utf8\n' >"$STATE/locales"
    else
        echo C.utf8 >"$STATE/locales"
        [ "$locales" = missing ] || echo "$locales" >"$STATE/localedef-fails"
    fi
    local err="$WORK/err-$rows" rc
    # shellcheck disable=SC2086
    PATH="$FAKES:$PATH" INSTALL_DEPS_PAUSE=0 bash "$WORK/root-$rows/scripts/install-deps.sh" $args \
        >/dev/null 2>"$err"
    rc=$?
    local problems=()
    [ "$rc" -eq "$want_rc" ] || problems+=("exit $rc, expected $want_rc")
    if [ -z "$want_line" ]; then
        [ ! -s "$err" ] || problems+=("expected no output")
    elif ! grep -qxF -- "$want_line" "$err"; then
        problems+=("no line [$want_line]")
    fi
    local installs package
    installs="$(grep '^apt-get install' "$STATE/calls" | tr ' ' '\n')"
    for package in $asked; do
        grep -qxF -- "$package" <<<"$installs" || problems+=("$package was not asked for")
    done
    for package in $not_asked; do
        ! grep -qxF -- "$package" <<<"$installs" || problems+=("$package was asked for")
    done
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok   $name"
    else
        failures=$((failures + 1))
        echo "FAIL $name: $(printf '%s; ' "${problems[@]}")"
        sed 's/^/     stderr: /' "$err"
        sed 's/^/     call: /' "$STATE/calls"
    fi
}

row "all there: silent, nothing asked of apt" "" "$(without clang-format) clang-format:amd64" 0 "" 0 \
    made 0 "" "" "wine clang-format"
row "a refresh failing in one index is retried, then the install goes on" "" "" 3 "" 0 made 0 \
    "install-deps: going on with the package indices at hand" "cmake wine64 wine32:i386" ""
row "the failing index's own words are shown" "" "" 1 "" 0 made 0 \
    "install-deps: package index refresh failed (try 1 of 3): E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" \
    "cmake" ""
row "the 32-bit part not installable: one line with apt's reason, exit 0" "" "" 3 "$WINE32_BROKEN" 0 \
    made 0 "install-deps: Wine's 32-bit part (wine32:i386) cannot be installed: wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed (the package indices are incomplete); the 32-bit edition is built, but its Wine suites will be skipped" \
    "cmake wine wine64 libgtest-dev" ""
row "the 64-bit set not installable: the packages and apt's reason, exit 1" "" "" 0 \
    "wine64	wine64 : Depends: libwine (= 8.0~repack-4) but 8.0~repack-5 is to be installed" 0 made 1 \
    "install-deps: cannot install cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 zip unzip osslsigncode openssl wine wine64 g++ libgtest-dev libgmock-dev clang-format clang-tidy python3 locales: wine64 : Depends: libwine (= 8.0~repack-4) but 8.0~repack-5 is to be installed" \
    "" "wine32:i386"
row "locales missing though localedef is there: the package is installed" "test" \
    "$(without locales)" 0 "" 0 missing 0 "install-deps: installing locales" "locales" "make"
row "make missing: installed by name, not taken from cmake" "build" "$(without make)" 0 "" 0 made 0 \
    "install-deps: installing make" "make" "cmake"
row "a locale that cannot be made says why" "test" "$EVERYTHING" 0 "" 0 \
    "cannot open locale definition file \`ru_RU': No such file or directory" 1 \
    "install-deps: could not make locale ru_RU.UTF-8: cannot open locale definition file \`ru_RU': No such file or directory" \
    "" ""
row "a release asks only for the build part" "build" "" 0 "" 0 missing 0 \
    "install-deps: installing $(echo $BUILD_SET)" \
    "cmake make osslsigncode zip" "wine wine64 wine32:i386 libgtest-dev clang-tidy locales"
row "not root: names what is missing, exit 1" "" "$(without cmake)" 0 "" 1000 made 1 \
    "install-deps: missing packages: cmake (run as root to install them)" "" "cmake"

echo "install-deps: $((rows - failures)) of $rows rows passed"
[ "$failures" -eq 0 ]
