#!/usr/bin/env bash
# Table test of install-deps.sh against stand-in apt-get, dpkg-query, dpkg, id, locale and
# localedef on PATH: nothing is installed for real. Each row sets up what the machine has
# and what the mirror does, then requires a line on stderr, the exit code and the packages
# apt-get was asked for. The record of a known fault and the apt folders it reads are the
# row's own, never the host's /var and /etc.
set -uo pipefail
SRC="$(cd "$(dirname "$0")/.." && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
FAKES="$WORK/bin"
mkdir -p "$FAKES"

# The stand-ins keep the machine's state in $STATE: installed (one package a line),
# update-fails (how many more refreshes fail), broken (package<TAB>apt's reason), uid,
# locales, localedef-fails, calls (every apt-get call), now (the clock, in seconds).
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
[ "$1" = --print-foreign-architectures ] && { cat "$STATE/foreign" 2>/dev/null; exit 0; }
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
cat >"$FAKES/date" <<'EOF'
#!/usr/bin/env bash
[ "$*" = +%s ] && cat "$STATE/now" && exit
exec "$REAL_DATE" "$@"
EOF
export REAL_DATE TZ=UTC
REAL_DATE="$(command -v date)"
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

INDEX=lists/deb.debian.org_debian-security_dists_bookworm-security_InRelease

# without PACKAGE : every package but that one.
without() { tr ' \n' '\n\n' <<<"$EVERYTHING" | grep -vxF "$1" | tr '\n' ' '; }

failures=0
rows=0
# row NAME ARGS INSTALLED UPDATE_FAILS BROKEN UID LOCALES_MADE EXPECTED_EXIT EXPECTED_LINE
#     ASKED NOT_ASKED
# INSTALLED: packages already there; BROKEN: package<TAB>reason lines; ASKED: packages
# (or "update") that must be in an apt-get call; NOT_ASKED: those that must be in none;
# @HOST@ in EXPECTED_LINE: the row's stand-in host folder.
# With BEFORE set, a first run sets the record, BEFORE runs in the host folder (later N
# moves the clock; rm -r "$clone/build" makes the clone fresh), then the measured run; AFTER
# must then hold (same_note: the clone's note is the first run's).
row() {
    local name="$1" args="$2" have="$3" fails="$4" broken="$5" uid="$6" locales="$7"
    local want_rc="$8" want_line="$9" asked="${10}" not_asked="${11}"
    rows=$((rows + 1))
    export STATE="$WORK/state-$rows"
    local host="$WORK/host-$rows" clone="$WORK/root-$rows"
    export INSTALL_DEPS_RECORD="$host/cache/install-deps-fault" INSTALL_DEPS_APT_LISTS="$host/lists" \
        INSTALL_DEPS_APT_ETC="$host/etc"
    mkdir -p "$STATE" "$clone/scripts" "$host/lists" "$host/etc/sources.list.d"
    echo "Suite: bookworm-security" >"$host/$INDEX"
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: trixie\n' \
        >"$host/etc/sources.list.d/debian.sources"
    echo 1700000000 >"$STATE/now"
    cp "$SRC/scripts/install-deps.sh" "$clone/scripts/"
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
    if [ -n "${BEFORE:-}" ]; then
        run_in "$clone" "$args" 2>"$err"
        cp "$clone/build/wine32-missing.txt" "$host/first-note" 2>/dev/null
        : >"$STATE/calls"
    fi
    (cd "$host" && eval "${BEFORE:-}" && run_in "$clone" "$args" 2>"$err")
    rc=$?
    want_line="${want_line//@HOST@/$host}"
    local problems=()
    [ "$rc" -eq "$want_rc" ] || problems+=("exit $rc, expected $want_rc")
    if [ -z "$want_line" ]; then
        [ ! -s "$err" ] || problems+=("expected no output")
    elif ! grep -qxF -- "$want_line" "$err"; then
        problems+=("no line [$want_line]")
    fi
    local installs package
    installs="$(grep '^apt-get' "$STATE/calls" | tr ' ' '\n')"
    for package in $asked; do
        grep -qxF -- "$package" <<<"$installs" || problems+=("$package was not asked for")
    done
    for package in $not_asked; do
        ! grep -qxF -- "$package" <<<"$installs" || problems+=("$package was asked for")
    done
    (cd "$host" && eval "${AFTER:-}") || problems+=("not so after the run: $AFTER")
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok   $name"
    else
        failures=$((failures + 1))
        echo "FAIL $name: $(printf '%s; ' "${problems[@]}")"
        sed 's/^/     stderr: /' "$err"
        sed 's/^/     call: /' "$STATE/calls"
    fi
}

# run_in CLONE ARGS : install-deps.sh of that clone, against the stand-ins.
run_in() {
    # shellcheck disable=SC2086
    PATH="$FAKES:$PATH" INSTALL_DEPS_PAUSE=0 bash "$1/scripts/install-deps.sh" $2 >/dev/null
}
later() { echo $(($(cat "$STATE/now") + $1)) >"$STATE/now"; }
same_note() { cmp -s "$clone/build/wine32-missing.txt" first-note; }

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


# The mirror stays broken for i386; everything else is there.
# fault_row NAME EXPECTED_LINE ASKED [NOT_ASKED [BROKEN]]
fault_row() {
    row "$1" "" "$(without wine32:i386)" 99 "${5:-$WINE32_BROKEN}" 0 made 0 "$2" "$3" "${4:-}"
}
ASKING="install-deps: installing wine32:i386 (Wine's 32-bit part)"
retry_row() { fault_row "$1" "$ASKING" "update wine32:i386"; }
BEFORE='later 21599; rm -r "$clone/build"' AFTER=same_note fault_row \
    "a known fault within 6 h: no refresh, no install, the note in a fresh clone" \
    "install-deps: Wine's 32-bit part (wine32:i386) cannot be installed: ${WINE32_BROKEN#*	 } (the package indices are incomplete); known from the run of 2023-11-14 22:13 UTC on the same package sources, so apt is not asked again and the 32-bit edition's Wine suites will be skipped (INSTALL_DEPS_RETRY=1 asks again now)" \
    "" "update wine32:i386"
BEFORE='later 21600' AFTER='same_note && grep -qx "recorded 1700021600" cache/install-deps-fault' \
    retry_row "a known fault 6 h old is tried again and recorded anew"
BEFORE='later 60; echo "Suites: trixie-backports" >>etc/sources.list.d/debian.sources' AFTER=same_note \
    retry_row "changed sources (.sources): tried again"
BEFORE="later 60; echo changed >>$INDEX" retry_row "a changed index: tried again"
BEFORE='later 60; echo "deb http://deb.debian.org/debian bookworm main" >etc/sources.list' \
    retry_row "a classic sources.list added: tried again"
BEFORE='later 60; echo "deb http://deb.debian.org/debian bookworm main" >etc/sources.list.d/x.list' \
    retry_row "a one-line .list added: tried again"
BEFORE='later 60; echo armhf >"$STATE/foreign"' retry_row "another foreign architecture: tried again"
BEFORE='later 60; export INSTALL_DEPS_RETRY=1' AFTER=same_note retry_row \
    "INSTALL_DEPS_RETRY=1 tries again"
BEFORE='later -60' retry_row "a record from the future (the clock set back): tried again"
BEFORE='later 60; sed -i /^make$/d "$STATE/installed"' fault_row \
    "a known fault, but make missing: both asked for" "install-deps: installing make" \
    "update make wine32:i386"
BEFORE='later 60; sed -i "s/^recorded .*/recorded yesterday/" cache/install-deps-fault' \
    AFTER='same_note && grep -qx "part wine32:i386" cache/install-deps-fault' fault_row \
    "a record of garbage: one line, tried again, recorded anew" \
    "install-deps: ignoring @HOST@/cache/install-deps-fault: not a record of an earlier fault that can be read" \
    "update wine32:i386"
BEFORE='export INSTALL_DEPS_RECORD=$PWD/$INDEX/fault' AFTER=same_note fault_row \
    "a record that cannot be written: one line, exit 0" \
    "install-deps: cannot keep a record of this fault in @HOST@/$INDEX/fault; the next run asks apt again" \
    "update wine32:i386"
BEFORE='later 60; export INSTALL_DEPS_RETRY=1; : >"$STATE/broken"' \
    AFTER='[ ! -e cache/install-deps-fault ] && [ ! -e "$clone/build/wine32-missing.txt" ]' \
    retry_row "a later success forgets the fault"
BEFORE='later 60' AFTER='[ ! -e cache/install-deps-fault ]' fault_row \
    "another apt holding the lock is no fault to remember" "$ASKING" "update wine32:i386" \
    "" "wine32:i386	E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (apt-get)"
BEFORE='later 21600; args=build' AFTER='same_note && [ -e cache/install-deps-fault ]' fault_row \
    "a build-only run leaves the note and the record alone" "" "" "update wine32:i386"

echo "install-deps: $((rows - failures)) of $rows rows passed"
[ "$failures" -eq 0 ]
