#!/usr/bin/env bash
# Tries the README's two commands as a newcomer would: on a fresh, minimal Debian with only
# git and ca-certificates added, made with debootstrap in a throwaway folder, in a clone of
# this repository's HEAD. Not part of the test command; needs root and an hour.
#   scripts/fresh-debian.sh bookworm|trixie [WORK_DIR]
# Prints each command's closing lines and time; the folder is unmounted and removed on exit
# (FRESH_DEBIAN_LOGS=DIR keeps the commands' full logs there). FRESH_DEBIAN_TEST_RUNS=N runs the
# test command N times in a row (default 1), each in a clean clone of its own, to show that its
# verdict holds run after run. FRESH_DEBIAN_THEN=COMMAND runs COMMAND in the last clone
# afterwards (for example "bash scripts/soak.sh x86 5").
set -euo pipefail
RELEASE="${1:?usage: fresh-debian.sh bookworm|trixie [WORK_DIR]}"
MIRROR="${FRESH_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
SOURCE="$(cd "$(dirname "$0")/.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "fresh-debian: needs root (debootstrap, mounts)" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y -qq --no-install-recommends debootstrap
WORK="$(mktemp -d "${2:-/var/tmp}/fresh-$RELEASE.XXXXXX")"
ROOTFS="$WORK/root"

MOUNTS=(proc dev dev/pts dev/shm)
cleanup() {
    local i
    if [ -n "${FRESH_DEBIAN_LOGS:-}" ]; then mkdir -p "$FRESH_DEBIAN_LOGS" && cp "$WORK"/*.log "$FRESH_DEBIAN_LOGS/"; fi
    for ((i = ${#MOUNTS[@]} - 1; i >= 0; i--)); do
        umount -l "$ROOTFS/${MOUNTS[i]}" 2>/dev/null || true
    done
    # Never follow a mount that is still there into the host's own folders.
    if ! grep -qs " $ROOTFS/" /proc/mounts; then rm -rf "$WORK"; fi
}
trap cleanup EXIT

# step NAME COMMAND... : runs COMMAND, keeping its output in a log, and says how it went.
step() {
    local name="$1" start rc
    shift
    start=$(date +%s)
    "$@" >"$WORK/$name.log" 2>&1 && rc=0 || rc=$?
    echo "== $name: exit $rc after $(($(date +%s) - start)) s"
    return 0
}

step debootstrap debootstrap --variant=minbase --include=git,ca-certificates "$RELEASE" "$ROOTFS" "$MIRROR"
[ -x "$ROOTFS/usr/bin/git" ] || { tail -n 20 "$WORK/debootstrap.log"; exit 1; }
# The sources a fresh installation has: the release, its updates and its security suite.
cat >"$ROOTFS/etc/apt/sources.list" <<EOF
deb $MIRROR $RELEASE main
deb $MIRROR $RELEASE-updates main
deb ${MIRROR%/debian}/debian-security $RELEASE-security main
EOF
mount -t proc proc "$ROOTFS/proc"
mount --bind /dev "$ROOTFS/dev"
mount --bind /dev/pts "$ROOTFS/dev/pts"
mount -t tmpfs tmpfs "$ROOTFS/dev/shm"
git clone -q "$SOURCE" "$ROOTFS/root/project"

in_root() { chroot "$ROOTFS" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 CI=true bash -c "cd /root/project && $1"; }
step demo in_root "bash scripts/demo.sh"
tail -n 8 "$WORK/demo.log" | sed 's/^/   /'
grep -E '^install-deps:|not shown' "$WORK/demo.log" | sed 's/^/   /' || true
for run in $(seq 1 "${FRESH_DEBIAN_TEST_RUNS:-1}"); do
    name=test
    if [ "$run" -gt 1 ]; then
        name="test$run"
        rm -rf "$ROOTFS/root/project"
        git clone -q "$SOURCE" "$ROOTFS/root/project"
    fi
    step "$name" in_root "bash scripts/test.sh"
    grep -E '^install-deps:|^total:|^skipped:|Failed|\*\*\*' "$WORK/$name.log" | sed 's/^/   /' || true
done
if [ -n "${FRESH_DEBIAN_THEN:-}" ]; then
    step then in_root "$FRESH_DEBIAN_THEN"
    tail -n 12 "$WORK/then.log" | sed 's/^/   /'
fi
