#!/usr/bin/env bash
# The one Wine every Windows test runs under: Debian unstable's, built for
# the new WoW64 (a 32-bit Windows program runs inside a 64-bit Linux process,
# so no 32-bit Linux program is needed), with pcscd, vpcd, Xvfb, ctest, osslsigncode, the
# Korean locale and fonts, in a tree made with mmdebstrap from this
# machine's own mirror and cached in ~/.cache/rfid-console, keyed by what
# goes into it and the Wine version the mirror serves.
#
# Sourced after lib.sh: rfid_wine_tree makes it (once), rfid_in_tree runs a
# command in it. Run on its own, "scripts/windows/wine-tree.sh shell" opens
# a shell inside it for debugging, "scripts/windows/wine-tree.sh CMD..."
# runs a command there. The tree holds no i386 loader; rfid_wine_tree
# checks that.
# shellcheck shell=bash

RFID_TREE_PACKAGES=wine,wine64,libwine,pcscd,libpcsclite1,vsmartcard-vpcd,locales,fonts-nanum,fonts-dejavu-core,xvfb,xauth,x11-utils,xdotool,imagemagick,unzip,iproute2,procps,openbox,cmake,binutils,osslsigncode
# Extra hooks' text counts toward the key: a change makes a new tree.
RFID_TREE_HOOK='echo "ko_KR.UTF-8 UTF-8" >> "$1/etc/locale.gen"; chroot "$1" locale-gen >/dev/null'

# The Debian mirror this machine's apt uses (its first source for Debian
# proper), so that the tree comes from where the machine's packages come.
rfid_debian_mirror() {
  local f uri
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -e $f ]] || continue
    uri=$(awk '/^URIs:/ {u = $2} /^Suites:/ && / (bookworm|trixie|sid)( |$)/ && u {print u; exit}' "$f")
    [[ -n $uri ]] && { echo "$uri"; return 0; }
  done
  uri=$(sed -nE 's/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+(bookworm|trixie|sid)[[:space:]].*/\2/p' \
          /etc/apt/sources.list 2>/dev/null | head -n 1)
  [[ -n $uri ]] || { echo "rfid: no Debian mirror in /etc/apt's sources" >&2; return 1; }
  echo "$uri"
}

# The version of wine that the mirror's unstable serves now, from a private
# copy of its package lists (kept beside the trees, so that asking again
# downloads only what changed).
rfid_sid_wine_version() {
  local lists=$1 mirror=$2
  mkdir -p "$lists/lists/partial" "$lists/cache/archives/partial" "$lists/parts"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror sid main" >"$lists/sources.list"
  local apt=(apt-get -o Dir::Etc::SourceList="$lists/sources.list" -o Dir::Etc::SourceParts="$lists/parts"
             -o Dir::State::Lists="$lists/lists" -o Dir::Cache="$lists/cache"
             -o Acquire::Check-Valid-Until=false -o APT::Sandbox::User=root)
  "${apt[@]}" update -qq >/dev/null 2>&1 || return 1
  apt-cache -o Dir::State::Lists="$lists/lists" -o Dir::Cache="$lists/cache" \
    -o Dir::Etc::SourceList="$lists/sources.list" -o Dir::Etc::SourceParts="$lists/parts" \
    show --no-all-versions wine 2>/dev/null | sed -n 's/^Version: //p' | head -n 1
}

# Makes the tree unless it is cached; sets RFID_TREE to its folder.
rfid_wine_tree() {
  local cache=${XDG_CACHE_HOME:-$HOME/.cache}/rfid-console mirror wine
  mirror=$(rfid_debian_mirror) || return 1
  wine=$(rfid_as_root bash -c "$(declare -f rfid_sid_wine_version); rfid_sid_wine_version '$cache/sid-lists' '$mirror'") ||
    wine=unknown
  RFID_TREE=$cache/sid-wine-$(printf '%s\n%s\n%s\n' "$RFID_TREE_PACKAGES" "$RFID_TREE_HOOK" "$wine" |
                                sha1sum | cut -c1-12)
  if [[ ! -f $RFID_TREE/.complete ]]; then
    rfid_install mmdebstrap
    mkdir -p "$cache"
    rm -rf "$RFID_TREE" "$RFID_TREE.new"
    # The mirror's unstable may be a frozen snapshot past its Valid-Until.
    rfid_step "making the Wine tree (Debian unstable, wine $wine, mmdebstrap; about 2 minutes)" \
      rfid_as_root mmdebstrap --variant=apt --architectures=amd64 \
        --aptopt='Acquire::Check-Valid-Until "false"' --include="$RFID_TREE_PACKAGES" \
        --customize-hook="$RFID_TREE_HOOK" sid "$RFID_TREE.new" "$mirror" || return 1
    touch "$RFID_TREE.new/.complete"
    mv "$RFID_TREE.new" "$RFID_TREE"
  fi
  # No 32-bit Linux program can run in it: there is no i386 loader.
  if compgen -G "$RFID_TREE/lib/ld-linux.so.2" >/dev/null ||
     compgen -G "$RFID_TREE/usr/lib/i386-linux-gnu/*" >/dev/null; then
    echo "rfid: the Wine tree holds 32-bit Linux parts" >&2
    return 1
  fi
}

# rfid_in_tree CMD...: runs the command inside the tree, in private network,
# mount and PID namespaces (vpcd's ports and the console's single-instance
# socket meet nothing outside; every process ends with it), with the
# project's root mounted at the same path and as the current folder, and
# this machine's CMake modules (the build's test files name them), in a
# clean environment.
rfid_in_tree() {
  local modules
  modules=$(cmake --system-information 2>/dev/null | sed -n 's/^CMAKE_ROOT "\(.*\)"$/\1/p')
  rfid_as_root unshare --net --mount --pid --fork --kill-child bash -c '
    set -e
    tree=$1 root=$2 modules=$3
    shift 3
    ip link set lo up
    mount -t proc proc "$tree/proc"
    for d in tmp run dev/shm; do mount -t tmpfs tmpfs "$tree/$d"; done
    for d in "$root" "$modules"; do
      [[ -n $d ]] || continue
      mkdir -p "$tree$d"
      mount --bind "$d" "$tree$d"
    done
    install -d -m 0700 "$tree/run/user/0"
    cd "$tree$root"
    exec chroot "$tree" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin:/usr/lib/x86_64-linux-gnu/wine HOME=/root \
      XDG_RUNTIME_DIR=/run/user/0 TERM="${TERM:-dumb}" \
      LANG=C.UTF-8 RFID_IN_TREE=1 ${CI:+CI=$CI} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      /bin/bash -c "cd \"\$0\" && exec \"\$@\"" "$root" "$@"
  ' _ "$RFID_TREE" "$RFID_ROOT" "$modules" "$@"
}

# Run on its own: a shell, or a command, inside the tree.
if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  source "$(dirname "$0")/../lib.sh"
  rfid_wine_tree
  if [[ ${1:-shell} == shell ]]; then
    rfid_in_tree bash -i
  else
    rfid_in_tree "$@"
  fi
fi
