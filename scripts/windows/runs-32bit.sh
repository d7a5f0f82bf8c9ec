#!/usr/bin/env bash
# Tells whether this machine can run the 32-bit Windows release under the
# Wine tree's WoW64 Wine, which runs 32-bit code inside a 64-bit process:
# the kernel must run 32-bit x86 code (IA-32 emulation), and machines of our
# kind differ in that. The probe: a five-line 32-bit Windows program built
# with the cross compiler, run under the tree's Wine.
#
# Prints one line, "yes: ..." (exit 0) or "no: <the cause>" (exit 1); other
# exits are the probe's own failure. RFID_NO_32BIT=1 makes it say no, so
# that the path of a machine that runs no 32-bit code can be tried anywhere.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
source "$RFID_ROOT/scripts/windows/wine-tree.sh"

if [[ ${RFID_NO_32BIT:-} == 1 ]]; then
  echo "no: RFID_NO_32BIT=1 stands in for a machine that runs no 32-bit code"
  exit 1
fi
rfid_install g++-mingw-w64-i686-posix binutils
dir=$RFID_ROOT/build/windows/probe
rm -rf "$dir"
mkdir -p "$dir"
cat >"$dir/probe.c" <<'EOF'
#include <stdio.h>
int main(void) {
  printf("32-bit code runs\n");
  return 0;
}
EOF
i686-w64-mingw32-gcc -O2 -o "$dir/probe.exe" "$dir/probe.c"
rfid_wine_tree >&2
rc=0
said=$(rfid_in_tree env WINEPREFIX="$dir/wine" bash -c 'wineboot -i >/dev/null 2>&1; wine "$0"' "$dir/probe.exe" 2>&1 |
         tr -d '\r' | tail -n 1) || rc=$?
if [[ $rc == 0 && $said == "32-bit code runs" ]]; then
  echo "yes: a 32-bit Windows program runs under $(rfid_in_tree wine --version) (WoW64)"
  exit 0
fi

# Why not: a 32-bit Linux program (no library needed: it only exits) and
# what the kernel says of its IA-32 emulation.
cat >"$dir/exit32.s" <<'EOF'
.globl _start
_start:
  movl $1, %eax
  xorl %ebx, %ebx
  int $0x80
EOF
cause="a 32-bit Windows program under Wine ended with status $rc${said:+ ('$said')}"
if as --32 -o "$dir/exit32.o" "$dir/exit32.s" && ld -m elf_i386 -o "$dir/exit32" "$dir/exit32.o"; then
  if linux=$("$dir/exit32" 2>&1); then
    cause+="; a 32-bit Linux program runs"
  else
    cause+="; a 32-bit Linux program: ${linux:-exit $?}"
  fi
fi
ia32=$(grep -o 'ia32_emulation=[^ ]*' /proc/cmdline 2>/dev/null || true)
[[ -z $ia32 ]] || cause+="; the kernel's command line: $ia32"
config=/boot/config-$(uname -r)
if [[ -r $config ]]; then
  cause+="; $(grep -E '^(# )?CONFIG_IA32_EMULATION[ =]' "$config" || echo "no CONFIG_IA32_EMULATION")"
fi
echo "no: $cause"
exit 1
