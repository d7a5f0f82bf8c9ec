#!/usr/bin/env bash
# The README's two commands as a newcomer meets them: in a fresh minimal
# Debian 12 root (mmdebstrap --variant=apt, what a container image holds:
# Essential packages and apt, no compiler, no iproute2), made from this
# machine's apt sources, from a clone of this repository, as root:
#
#   scripts/run.sh 0012345678 홍길동         standard output exactly 0012345678, status 0
#   RFID_SKIP_SANITIZERS=1 scripts/test.sh -L unit   the quick tests, as built
#
# A clone takes what is committed (HEAD), not the work tree's changes.
# Downloaded packages are kept in ~/.cache/rfid-console/apt between runs
# (RFID_PACKAGE_CACHE names another folder), as scripts/package-test.sh
# keeps them. Needs root (mmdebstrap's root mode, chroot).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
fail() { echo "fresh root: FAILED: $*" >&2; exit 1; }
[[ $(id -u) == 0 ]] || fail "run as root (mmdebstrap's root mode, chroot)"
rfid_install mmdebstrap git

sources=${RFID_APT_SOURCES:-/etc/apt/sources.list.d/debian.sources}
[[ -f $sources ]] || sources=/etc/apt/sources.list
cache=${RFID_PACKAGE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rfid-console/apt}
mkdir -p "$cache"
root=$(mktemp -d "${TMPDIR:-/tmp}/rfid-fresh-root.XXXXXX")
trap 'rm -rf --one-file-system "$root"' EXIT

start=$SECONDS
rfid_step "making a minimal Debian 12 root (mmdebstrap --variant=apt bookworm)" \
  mmdebstrap --mode=root --variant=apt bookworm "$root" "$sources"
git clone -q "$RFID_ROOT" "$root/root/rfid-console"
cp -a "$cache/." "$root/var/cache/apt/archives/" 2>/dev/null || true
echo "fresh root: made in $((SECONDS - start)) s"

# in_root COMMAND: runs COMMAND with bash in the root, in the clone, as
# root with a clean environment, in private mount and PID namespaces (every
# mount and process ends with it).
in_root() {
  unshare --mount --pid --fork --kill-child bash -c '
    set -e
    root=$1
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --make-rslave "$root/dev"
    for d in tmp run dev/shm; do mount -t tmpfs tmpfs "$root/$d"; done
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
      /bin/bash -c "cd /root/rfid-console && $2"
  ' _ "$root" "$1"
}

status=0
step=$SECONDS
rc=0
out=$(in_root 'scripts/run.sh 0012345678 홍길동' 2>"$root/run.log") || rc=$?
run_seconds=$((SECONDS - step))
if [[ $rc == 0 && $out == 0012345678 ]]; then
  echo "fresh root: ok: scripts/run.sh 0012345678 홍길동: status 0, standard output '$out', in $run_seconds s"
else
  tail -n 40 "$root/run.log" >&2
  echo "fresh root: FAILED: scripts/run.sh 0012345678 홍길동: status $rc, standard output '$out'," \
       "in $run_seconds s" >&2
  status=1
fi

step=$SECONDS
if in_root 'RFID_SKIP_SANITIZERS=1 scripts/test.sh -L unit' >"$root/test.log" 2>&1; then
  echo "fresh root: ok: RFID_SKIP_SANITIZERS=1 scripts/test.sh -L unit in $((SECONDS - step)) s:" \
       "$(grep '^rfid: tests ' "$root/test.log" | tail -n 1)"
else
  tail -n 60 "$root/test.log" >&2
  echo "fresh root: FAILED: RFID_SKIP_SANITIZERS=1 scripts/test.sh -L unit in $((SECONDS - step)) s" >&2
  status=1
fi
cp -a "$root/var/cache/apt/archives/." "$cache/" 2>/dev/null || true
rm -f "$cache/lock"
rm -rf "$cache/partial"
echo "fresh root: $( ((status)) && echo FAILED || echo passed) in $((SECONDS - start)) s"
exit $status
