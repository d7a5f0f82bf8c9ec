#!/usr/bin/env bash
# Builds the installer for desks from the staged release folder:
# scripts/windows/msi.sh STAGE VERSION OUT.msi (VERSION as x.y.z). The same
# files as the zip, the console's icon for its Start-menu entry and the
# Add/Remove Programs entry; READERLIBRARY (none, pcsc, sim; remembered for
# upgrades) chooses which of our reader libraries goes beside the program as
# tqr_32.dll.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
stage=$(realpath "$1") version=$2 out=$(realpath -m "$3")
rfid_install wixl msitools imagemagick g++-mingw-w64-i686-posix

# The console's icon, painted by the Linux build's icon painter.
icons=$RFID_ROOT/build/packaging/icons/hicolor
if [[ ! -f $icons/256x256/apps/rfid-console.png ]]; then
  rfid_configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  rfid_build build rfid_icons >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert "$icons"/{16x16,32x32,48x48,256x256}/apps/rfid-console.png "$work/console.ico"
# The custom actions that place and remove the tqr_32.dll beside the program.
i686-w64-mingw32-gcc -shared -O2 -Wall -Wextra -static -s -Wl,--kill-at \
  -o "$work/actions.dll" "$RFID_ROOT/scripts/windows/reader_library_action.c" -lmsi

# wixl takes paths relative to where it runs.
ln -s "$stage" "$work/stage"
(cd "$work" && wixl -a x86 -D Version="$version" -D Stage=stage -D Icon=console.ico -D Actions=actions.dll \
   -o "$work/out.msi" "$RFID_ROOT/scripts/windows/rfid-console.wxs")

# What wixl cannot write: the Korean code page and the Korean names.
printf '\r\n\r\n949\t_ForceCodepage\r\n' >"$work/_ForceCodepage.idt"
(cd "$work" && msibuild out.msi -i _ForceCodepage.idt)
sql() { msibuild "$work/out.msi" -q "$1"; }
sql "UPDATE \`Shortcut\` SET \`Name\` = 'RFIDCARD.LNK|RFID 카드 등록' WHERE \`Shortcut\` = 'ConsoleShortcut'"
sql "UPDATE \`LaunchCondition\` SET \`Description\` = '이 프로그램의 더 새로운 버전이 이미 설치되어 있습니다.' WHERE \`Condition\` = 'NOT WIX_DOWNGRADE_DETECTED'"
sql "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;READERLIBRARY' WHERE \`Property\` = 'SecureCustomProperties'"
mv "$work/out.msi" "$out"
echo "$out"
