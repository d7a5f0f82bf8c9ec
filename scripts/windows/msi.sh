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
  -D_WIN32_WINNT=0x0601 -o "$work/actions.dll" "$RFID_ROOT/scripts/windows/reader_library_action.c" -lmsi -ladvapi32
# A signed release (scripts/windows/sign.sh) signs them as well.
[[ -z ${RFID_SIGN_CERT:-} ]] || "$RFID_ROOT/scripts/windows/sign.sh" --file "$work/actions.dll"

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
sql "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;READERLIBRARY;READERLIBRARYGIVEN' WHERE \`Property\` = 'SecureCustomProperties'"
# The old version goes inside the new one's transaction, after its files
# (and before the reader library is placed): a failed upgrade rolls back
# whole. A rebuild of the same version replaces the installed one.
sequence=6550
for action in RemoveExistingProducts RollbackReaderLibrary.Data RollbackReaderLibrary \
              PlaceReaderLibrary.Data PlaceReaderLibrary CommitReaderLibrary.Data CommitReaderLibrary; do
  sql "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = $sequence WHERE \`Action\` = '$action'"
  sequence=$((sequence + 1))
done
# Attributes is part of the Upgrade table's key: the row goes in anew, its
# upper bound inclusive (256 + 512 + 1 would add the lower).
read -r code max attributes property < <(msiinfo export "$work/out.msi" Upgrade | tr -d '\r' |
  awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" {print $1, $3, $5, $7}')
sql "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
sql "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$code', '$max', $((attributes | 512)), '$property')"
mv "$work/out.msi" "$out"
echo "$out"
