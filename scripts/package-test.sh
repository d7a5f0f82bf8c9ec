#!/usr/bin/env bash
# Checks the Debian package in a fresh Debian 12 minimal root: builds it
# (scripts/package.sh), makes the root with mmdebstrap from this machine's
# apt sources, installs the package there with apt-get so that apt resolves
# every dependency, and, as a user who is not root, writes and reads a card
# on the simulated reader, starts the console on the PC/SC reader, finds the
# manual page, validates the desktop entry and starts the legacy window.
# Then it removes the package and checks that nothing of it is left.
#
# Downloaded packages are kept in ~/.cache/rfid-console/apt between runs
# (RFID_PACKAGE_CACHE names another folder). Needs root, as mmdebstrap's
# root mode does. Usage: scripts/package-test.sh [package.deb]
set -euo pipefail
cd "$(dirname "$0")/.."

# --- inside the fresh root (run by the hooks below) ---------------------------

fail() { echo "package test: FAILED: $*" >&2; exit 1; }
ok() { echo "package test: ok: $*"; }

install_package() {
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=900 install -y -q "$1" >/tmp/install.log 2>&1 ||
    { cat /tmp/install.log; fail "apt-get install $1"; }
  dpkg-query -W -f='${Status}' rfid-console | grep -q "install ok installed" || fail "not installed"
  ok "apt-get install $(basename "$1")"
}

# Runs a command as the desk user with a clean environment, offscreen; it
# execs, so it is always called in a subshell.
as_user() {
  exec runuser -u desk -- env -i HOME=/home/desk PATH=/usr/bin:/bin LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen "$@"
}

check_installed() {
  id desk >/dev/null 2>&1 || useradd -m desk
  local out rc

  # The unattended write on the simulated reader, and the card's block.
  rc=0; out=$(as_user timeout 60 rfid-console-sim 0012345678 홍길동 2>/tmp/write.log) || rc=$?
  [[ $rc == 0 && $out == 0012345678 ]] ||
    { cat /tmp/write.log; fail "unattended write: exit $rc, output '$out'"; }
  out=$(as_user tqr-sim block 1) || fail "tqr-sim block 1"
  [[ $out == 0012345678AAAAAA* ]] || fail "block 01 holds '$out'"
  ok "rfid-console-sim 0012345678 홍길동 wrote block 01: $out"

  rc=0; out=$(as_user timeout 60 rfid-console-sim READ 2>/tmp/read.log) || rc=$?
  [[ $rc == 0 && $out == 0012345678 ]] ||
    { cat /tmp/read.log; fail "READ on the simulated reader: exit $rc, output '$out'"; }
  ok "rfid-console-sim READ read $out"

  # Installed, the console loads the PC/SC reader library through its
  # RUNPATH; with no pcscd running it finds no reader and reads no number.
  rc=0; out=$(as_user timeout 60 rfid-console READ 2>/tmp/pcsc.log) || rc=$?
  grep -q "could not be loaded" /tmp/pcsc.log && { cat /tmp/pcsc.log; fail "reader library"; }
  [[ $rc == 2 && -z $out ]] ||
    { cat /tmp/pcsc.log; fail "rfid-console READ on PC/SC: exit $rc, output '$out'"; }
  grep -q "loaded:" /tmp/pcsc.log || { cat /tmp/pcsc.log; fail "rfid-console READ did not load"; }
  ok "rfid-console READ on the PC/SC reader library: exit 2, no reader"

  # The legacy window from its launcher: it sends its card setting through
  # the simulated reader library it was given as ./libtqr_32.so.
  local before after pid
  before=$(as_user tqr-sim log 100 | wc -l)
  # as_user execs runuser in the background subshell: $! is runuser, which
  # hands the termination signal on to the window.
  (as_user rfid-legacy --sim 2>/tmp/legacy.log) &
  pid=$!
  for _ in $(seq 1 50); do
    after=$(as_user tqr-sim log 100 | wc -l)
    ((after > before)) && break
    sleep 0.2
  done
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  ((after > before)) || { cat /tmp/legacy.log; fail "rfid-legacy --sim sent nothing"; }
  ok "rfid-legacy --sim exchanged frames with the simulated reader"

  for page in rfid-console rfid-console-sim tqr-sim rfid-legacy; do
    out=$(as_user man -w "$page") || fail "man -w $page"
    [[ $out == /usr/share/man/man1/*.1.gz && -f $out ]] || fail "man -w $page: $out"
  done
  ok "man -w finds rfid-console, rfid-console-sim, tqr-sim, rfid-legacy"

  # The version the package has, said by the programs (no display needed)
  # and by the changelog; the licence in Debian's format.
  local version doc=/usr/share/doc/rfid-console
  version=$(dpkg-query -W -f='${Version}' rfid-console)
  for program in rfid-console rfid-legacy tqr-sim; do
    out=$(as_user env -u QT_QPA_PLATFORM "$program" --version) || fail "$program --version"
    [[ $out == "$program $version" ]] || fail "$program --version: $out"
  done
  [[ $(zcat "$doc/changelog.gz" | head -n 1) == "rfid-console ($version) unstable; urgency=medium" ]] ||
    fail "changelog: $(zcat "$doc/changelog.gz" | head -n 1)"
  grep -q '^License: Expat' "$doc/copyright" && [[ -s $doc/THIRD-PARTY-NOTICES.txt ]] ||
    fail "copyright or THIRD-PARTY-NOTICES.txt"
  ok "--version says $version; changelog, MIT copyright and third-party notices in $doc"

  out=$(desktop-file-validate /usr/share/applications/rfid-console.desktop 2>&1) ||
    fail "desktop-file-validate: $out"
  [[ -z $out ]] || fail "desktop-file-validate: $out"
  for size in 16x16 32x32 48x48 256x256; do
    [[ -s /usr/share/icons/hicolor/$size/apps/rfid-console.png ]] || fail "no $size icon"
  done
  ok "desktop entry valid, icons in hicolor"
}

check_removed() {
  dpkg-query -L rfid-console | sort -r >/tmp/files
  apt-get -o DPkg::Lock::Timeout=900 purge -y -q rfid-console >/tmp/remove.log 2>&1 ||
    { cat /tmp/remove.log; fail "apt-get purge rfid-console"; }
  dpkg-query -W -f='${Status}' rfid-console 2>/dev/null | grep -q "installed" &&
    fail "still installed"
  local left=()
  while read -r f; do
    # Shared folders (/usr/bin, ...) stay; the package's own go.
    [[ -d $f && ! -L $f ]] && [[ $f != */rfid-console* ]] && continue
    [[ -e $f || -L $f ]] && left+=("$f")
  done </tmp/files
  ((${#left[@]} == 0)) || fail "left after removal: ${left[*]}"
  ok "purged: none of its $(wc -l </tmp/files) paths is left"
}

case "${1:-}" in
  --install) install_package "$2"; exit ;;
  --check) check_installed; check_removed; exit ;;
esac

# --- outside: build, make the root, run the checks there ----------------------

source "$(dirname "$0")/lib.sh"
rfid_install mmdebstrap
[[ $(id -u) == 0 ]] || fail "run as root (mmdebstrap's root mode)"

deb=${1:-}
if [[ -z $deb ]]; then
  deb=$(scripts/package.sh | tail -n 1)
fi
[[ -f $deb ]] || fail "no package $deb"
deb=$(realpath "$deb")
sources=${RFID_APT_SOURCES:-/etc/apt/sources.list.d/debian.sources}
[[ -f $sources ]] || sources=/etc/apt/sources.list
cache=${RFID_PACKAGE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rfid-console/apt}
mkdir -p "$cache"
self=$(realpath "$0")
name=$(basename "$deb")

start=$EPOCHREALTIME
# The apt variant (Essential: yes and apt) plus what the checks use: useradd,
# man and desktop-file-validate; none of them is something the programs
# link against. Downloaded packages go back to the cache, also when a check
# fails, since the package's dependencies are downloaded before the checks.
set +e
mmdebstrap --mode=root --variant=apt --include=passwd,man-db,desktop-file-utils \
  --skip=download/empty --skip=essential/unlink \
  --setup-hook='mkdir -p "$1"/var/cache/apt/archives/' \
  --setup-hook="sync-in $cache /var/cache/apt/archives/" \
  --customize-hook="copy-in $deb $self /tmp/" \
  --customize-hook="chroot \"\$1\" bash /tmp/package-test.sh --install /tmp/$name" \
  --customize-hook="sync-out /var/cache/apt/archives $cache" \
  --customize-hook='chroot "$1" bash /tmp/package-test.sh --check' \
  bookworm /dev/null "$sources" 2>&1 | grep --line-buffered -v '^I: '
status=${PIPESTATUS[0]}
set -e
seconds=$(awk -v s="$start" -v e="$EPOCHREALTIME" 'BEGIN {printf "%.0f", e - s}')
if [[ $status != 0 ]]; then
  echo "package test: FAILED (mmdebstrap exit $status) after ${seconds} s" >&2
  exit 1
fi
echo "package test: passed in a fresh root in ${seconds} s"
