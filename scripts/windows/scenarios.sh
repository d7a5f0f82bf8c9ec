#!/usr/bin/env bash
# The Windows release's scenarios under Wine, one a ctest test of the
# windows presets (tests/windows/CMakeLists.txt), run inside the Wine tree:
#   scripts/windows/scenarios.sh NAME
# The preset gives WINEPREFIX, LC_ALL (ko_KR.UTF-8 makes Wine's ANSI code
# page 949, C.UTF-8 1252) and RFID_CODE_PAGE; the test RFID_WINDOWS_OUT
# (build/windows, where the release and the test build are).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
name=$1
out=$(cd "$RFID_WINDOWS_OUT" && pwd)
bin=$out/tree/bin
cp=${RFID_CODE_PAGE:-1252}
failed=0
fail() { echo "FAILED: $*"; failed=1; }
quiet() { "$@" </dev/null >/dev/null 2>&1; }

# The release as a user unpacks it, with our simulated reader beside the
# console; under 949 in a Korean folder, the card's state under a Korean path.
e2e=$out/e2e-$cp
app=$e2e/app state=$e2e/tqr-sim.state
if [[ $cp == 949 ]]; then app="$e2e/카드 등록" state=$e2e/상태/tqr-sim.state; fi
in_app() { (cd "$app" && TQR_SIM_STATE=$(winepath -w "$state") exec "$@"); }
block1() { in_app timeout 60 wine tqr-sim.exe block 1 2>&1 | tr -d '\r'; }
# Wine hands a program no QT_ variable from here: they go through the
# prefix's user environment.
# Named also for windows: a test program takes offscreen when none is named.
platform() { quiet wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d "$1" /f; }
# Xvfb on display $1 for the tests after it, until stop_display; Wine picks
# its display driver when its server starts, so the server starts again.
start_display() {
  rfid_start_xvfb "$1" "${2:-1024x768x24}"
  echo "$RFID_XVFB_PID" >"$out/xvfb-$cp.pid"
  wineserver -k 2>/dev/null || true
}
stop_display() {
  [[ -f $out/xvfb-$cp.pid ]] && kill "$(cat "$out/xvfb-$cp.pid")" 2>/dev/null || true
  rm -f "$out/xvfb-$cp.pid"
  wineserver -k 2>/dev/null || true
}

case $name in
  prefix)
    rm -rf "$WINEPREFIX"
    quiet wineboot -i
    platform offscreen
    # Wine's stand-ins for Verdana and Gulim draw no text in the boxes: name
    # fonts the tree has (fonts-dejavu-core, fonts-nanum).
    for pair in "Verdana=DejaVu Sans" "굴림=NanumGothic" "Gulim=NanumGothic" \
                "굴림체=D2Coding ligature" "GulimChe=D2Coding ligature"; do
      quiet wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}" /f
    done
    quiet wineserver -w
    acp=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null |
            tr -d '\r' | awk '$1 == "ACP" {print $3}')
    echo "prefix $WINEPREFIX: $(wine --version), ANSI code page $acp"
    [[ $acp == "$cp" ]] || fail "the programs would not run under code page $cp"
    ;;

  prefix_end)
    wineserver -k 2>/dev/null || true
    ;;

  unpack)
    rm -rf "$e2e"
    mkdir -p "$app" "$(dirname "$state")"
    unzip -q "$out/rfid-console-win32.zip" -d "$app"
    cp "$app/sim/tqr_32.dll" "$app/tqr_32.dll"
    cp "$bin/platforms/qoffscreen.dll" "$app/platforms/"  # the scenarios on no display
    echo "unpacked into $app"
    ;;

  versions)
    # Every program and library of ours says its version to Windows.
    for f in "$out/rfid-console-win32"/{rfid-console,rfid-legacy,tqr-sim}.exe \
             "$out/rfid-console-win32"/{sim,pcsc}/tqr_32.dll; do
      text=$(strings -el "$f")
      for field in FileVersion ProductVersion FileDescription ProductName LegalCopyright "$(rfid_version)"; do
        grep -qx -- "$field" <<<"$text" || fail "$f has no $field in its version resource"
      done
    done
    echo "version resources: the three programs and both reader libraries say $(rfid_version)"
    # Each program's manifest: as the user who starts it, per-monitor DPI,
    # Windows 10 and 11; and Qt's plugins from its folder.
    for f in "$out/rfid-console-win32"/{rfid-console,rfid-legacy,tqr-sim}.exe; do
      text=$(strings "$f")
      for field in 'level="asInvoker"' '>PerMonitorV2<' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
        grep -qF -- "$field" <<<"$text" || fail "$f's manifest has no $field"
      done
    done
    grep -q '^Plugins=\.' "$out/rfid-console-win32/qt.conf" || fail "no qt.conf naming the program's folder"
    echo "manifests: asInvoker, PerMonitorV2, Windows 10 and 11 in the three programs; qt.conf beside them"
    ;;

  planted_plugin)
    # Another vendor's Qt left QT_PLUGIN_PATH machine-wide: a platform
    # plugin planted there is never loaded; Qt's plugin log names each file
    # it loads.
    planted=$e2e/planted
    rm -rf "$planted"
    mkdir -p "$planted/platforms"
    cp "$bin/platforms/qoffscreen.dll" "$planted/platforms/"
    quiet wine reg add 'HKCU\Environment' /v QT_PLUGIN_PATH /d "$(winepath -w "$planted")" /f
    quiet wine reg add 'HKCU\Environment' /v QT_DEBUG_PLUGINS /d 1 /f
    set +e
    in_app timeout 60 wine rfid-console.exe 0012345678 x >"$e2e/planted.stdout" 2>"$e2e/planted.stderr"
    status=$?
    set -e
    quiet wine reg delete 'HKCU\Environment' /v QT_PLUGIN_PATH /f
    quiet wine reg delete 'HKCU\Environment' /v QT_DEBUG_PLUGINS /f
    loaded=$(grep -ai 'loaded library' "$e2e/planted.stderr" | tr -d '\r' || true)
    echo "a plugin folder on QT_PLUGIN_PATH: console exit $status; Qt loaded: ${loaded:-nothing it logged}"
    grep -qi 'planted' <<<"$loaded" && fail "the console loaded a plugin planted on QT_PLUGIN_PATH"
    grep -qi 'qoffscreen' <<<"$loaded" || fail "Qt's plugin log named no platform plugin: $(tail -n 5 "$e2e/planted.stderr")"
    [[ $status == 0 ]] || fail "the console exited $status: $(tail -n 3 "$e2e/planted.stderr")"
    ;;

  unpacked_write)
    set +e
    rm -f "$e2e/rfid.log"
    RFID_LOG_FILE=$(winepath -w "$e2e/rfid.log") in_app timeout 120 wine rfid-console.exe 0012345678 홍길동 \
      >"$e2e/stdout" 2>"$e2e/stderr"
    status=$?
    set -e
    # The log file named by RFID_LOG_FILE (its owner-only ACL is not shown:
    # Wine keeps no file DACLs and answers one of its own making).
    grep -q "write verified: 0012345678" "$e2e/rfid.log" || fail "no 'write verified' in the log file"
    block=$(block1)
    stdout=$(tr -d '\r' <"$e2e/stdout")
    echo "rfid-console.exe 0012345678 홍길동 (code page $cp): exit $status, stdout '$stdout', block 01 $block"
    [[ $status == 0 ]] || fail "rfid-console.exe exited $status"
    [[ $stdout == 0012345678 ]] || fail "standard output was '$stdout', not 0012345678"
    grep -q "write verified: 0012345678" "$e2e/stderr" ||
      fail "no 'write verified' on standard error: $(tail -n 5 "$e2e/stderr")"
    [[ $block == *0012345678AAAAAA* ]] || fail "block 01 holds '$block'"
    ;;

  readme_cmd)
    # README-Windows.txt's cmd example, as it stands but in the unpacked
    # folder: the number and the status in a batch file, the status by
    # start /wait.
    sed -n '/^  @echo off/,/^  echo %ERRORLEVEL%/{s/^  //;/^cd \/d/d;s/$/\r/;p}' \
        "$RFID_ROOT/scripts/windows/README-Windows.txt" | iconv -f UTF-8 -t CP949 >"$app/call.bat"
    said=$(in_app wine cmd /c call.bat 2>/dev/null | tr -d '\r' | tr '\n' ' ')
    echo "cmd call.bat from README-Windows.txt: $said"
    [[ $said == "status 0 number 0012345678 0 " ]] || fail "README-Windows.txt's cmd example said '$said'"
    ;;

  installer)
    # As a desk's IT runs it, silently: an older version with the simulated
    # reader, this one over it (the choice kept), removed whole; then the
    # PC/SC reader chosen by the registry value IT may set, the maker's DLL
    # copied over ours, a newer version over it and the removal, both of
    # which leave the maker's DLL alone. A 32-bit installer on a 64-bit
    # Windows: Program Files (x86), and the registry's 32-bit view.
    msi=$out/rfid-console-$(rfid_version)-win32.msi
    installed=$(winepath -u 'C:\Program Files (x86)')/rfid-console
    maker=$bin/test-libs/libtqr_echo.dll  # stands for the reader maker's DLL
    arp() {
      wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 2>/dev/null |
        tr -d '\r' | grep -A1 'DisplayName.*RFID Console' | sed -n 's/.*DisplayVersion *REG_SZ *//p' |
        tr '\n' ' ' || true
    }
    msiexec_qn() { wine msiexec "$@" /qn; local rc=$?; wineserver -w; return $rc; }
    placed() {  # which file the tqr_32.dll beside the program is
      local f
      for f in "$installed/sim/tqr_32.dll:sim" "$installed/pcsc/tqr_32.dll:pcsc" "$maker:maker"; do
        cmp -s "${f%:*}" "$installed/tqr_32.dll" 2>/dev/null && { echo "${f##*:}"; return; }
      done
      [[ -e $installed/tqr_32.dll ]] && echo other || echo none
    }
    mkdir -p "$e2e"
    msiexec_qn /i "$(winepath -w "$out/older.msi")" READERLIBRARY=sim || fail "msiexec /i older.msi"
    msiexec_qn /i "$(winepath -w "$msi")" || fail "msiexec /i $(basename "$msi") over the older one"
    versions=$(arp)
    lnk=$(find "$(winepath -u 'C:\')" -name 'RFID 카드 등록.lnk' | head -1)
    echo "installer: upgraded without READERLIBRARY: Add/Remove Programs lists RFID Console $versions;" \
         "Start menu: ${lnk##*/}; tqr_32.dll: $(placed)"
    [[ $versions == "$(rfid_version) " ]] || fail "after the upgrade Add/Remove Programs lists versions '$versions'"
    [[ -n $lnk ]] || fail "no Start-menu entry 'RFID 카드 등록'"
    [[ $(placed) == sim ]] || fail "the upgrade did not keep the simulated reader: $(placed)"
    cp "$bin/platforms/qoffscreen.dll" "$installed/platforms/"  # no display here
    set +e
    (cd "$e2e" && TQR_SIM_STATE=$(winepath -w "$e2e/installed.state") timeout 120 \
       wine "$(winepath -w "$installed/rfid-console.exe")" 0012345678 홍길동 >"$e2e/msi.stdout" 2>"$e2e/msi.stderr")
    status=$?
    set -e
    rm "$installed/platforms/qoffscreen.dll"
    echo "installed rfid-console.exe 0012345678 홍길동: exit $status, stdout '$(tr -d '\r' <"$e2e/msi.stdout")'"
    [[ $status == 0 && $(tr -d '\r' <"$e2e/msi.stdout") == 0012345678 ]] ||
      fail "the installed console: exit $status, $(tail -n 3 "$e2e/msi.stderr")"
    msiexec_qn /x "$(winepath -w "$msi")" || fail "msiexec /x"
    left=$(find "$installed" -mindepth 1 2>/dev/null | wc -l || true)
    [[ $left == 0 && -z $(arp) ]] || fail "after msiexec /x: $left files left, versions '$(arp)'"

    quiet wine reg add 'HKLM\Software\rfid-console' /v ReaderLibrary /d pcsc /f /reg:32
    msiexec_qn /i "$(winepath -w "$msi")" || fail "msiexec /i with ReaderLibrary=pcsc in the registry"
    chosen=$(placed)
    cp "$maker" "$installed/tqr_32.dll"
    msiexec_qn /i "$(winepath -w "$out/newer.msi")" || fail "msiexec /i newer.msi"
    upgraded=$(placed)
    msiexec_qn /x "$(winepath -w "$out/newer.msi")" || fail "msiexec /x newer.msi"
    kept=$(cd "$installed" 2>/dev/null && find . -mindepth 1 | tr '\n' ' ' || true)
    echo "installer: ReaderLibrary=pcsc in the registry installed $chosen; the maker's DLL copied" \
         "over it: after an upgrade tqr_32.dll is $upgraded, after removal left behind: ${kept:-nothing} ($(placed))"
    [[ $chosen == pcsc ]] || fail "ReaderLibrary=pcsc in the registry installed $chosen"
    [[ $upgraded == maker ]] || fail "an upgrade replaced the maker's DLL: $upgraded"
    [[ $kept == "./tqr_32.dll " && $(placed) == maker ]] || fail "after removal, left: '$kept' ($(placed))"
    quiet wine reg delete 'HKLM\Software\rfid-console' /f /reg:32 || true
    rm -rf "$installed"

    # READERLIBRARY compares without case; another value installs nothing.
    msiexec_qn /i "$(winepath -w "$msi")" READERLIBRARY=bogus && fail "READERLIBRARY=bogus installed"
    [[ ! -e $installed && -z $(arp) ]] || fail "READERLIBRARY=bogus left: $(ls "$installed" 2>/dev/null | head -3)"
    msiexec_qn /i "$(winepath -w "$msi")" READERLIBRARY=PCSC || fail "msiexec /i READERLIBRARY=PCSC"
    remembered=$(wine reg query 'HKLM\Software\rfid-console' /v ReaderLibrary /reg:32 2>/dev/null | tr -d '\r' |
                   awk '$1 == "ReaderLibrary" {print $3}')
    echo "installer: READERLIBRARY=bogus refused; READERLIBRARY=PCSC placed $(placed), remembered '$remembered'"
    [[ $(placed) == pcsc && $remembered == pcsc ]] || fail "READERLIBRARY=PCSC placed $(placed), remembered '$remembered'"
    # What was placed is known by its SHA-256 whatever version placed it:
    # with the version's own copies changed, a removal still takes it.
    recorded=$(wine reg query 'HKLM\Software\rfid-console' /v ReaderLibrarySha256 /reg:32 2>/dev/null |
                 tr -d '\r' | awk '$1 == "ReaderLibrarySha256" {print $3}')
    [[ $recorded == "$(sha256sum "$installed/tqr_32.dll" | cut -c1-64)" ]] ||
      fail "the registry records '$recorded' for the tqr_32.dll placed"
    # A rebuild of the same version replaces the installed one.
    msiexec_qn /i "$(winepath -w "$out/rebuilt.msi")" || fail "msiexec /i of a same-version rebuild"
    echo "installer: a same-version rebuild over it: Add/Remove Programs lists '$(arp)'"
    [[ $(arp) == "$(rfid_version) " ]] || fail "after a same-version rebuild Add/Remove Programs lists '$(arp)'"
    echo changed >"$installed/sim/tqr_32.dll"
    echo changed >"$installed/pcsc/tqr_32.dll"
    msiexec_qn /x "$(winepath -w "$out/rebuilt.msi")" || fail "msiexec /x of the rebuild"
    [[ ! -e $installed/tqr_32.dll ]] || fail "the removal left the tqr_32.dll it placed (recorded by its SHA-256)"

    # The release signed with a throwaway certificate (scripts/windows/sign.sh
    # in build.sh): every program, library and the MSI verify, and the
    # signed MSI installs the signed files.
    signed=$out/signed
    verify() { osslsigncode verify -CAfile "$signed/cert.pem" -in "$1" >/dev/null 2>&1; }
    unsigned=()
    while IFS= read -r -d '' f; do verify "$f" || unsigned+=("${f#"$signed"/}"); done < <(
      find "$signed/rfid-console-win32" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    verify "$signed/rfid-console-signed.msi" || unsigned+=(rfid-console-signed.msi)
    echo "installer: signed release: ${#unsigned[@]} files without a valid signature ${unsigned[*]}"
    ((${#unsigned[@]} == 0)) || fail "not signed: ${unsigned[*]}"
    msiexec_qn /i "$(winepath -w "$signed/rfid-console-signed.msi")" READERLIBRARY=sim || fail "msiexec /i of the signed MSI"
    verify "$installed/rfid-console.exe" && verify "$installed/tqr_32.dll" ||
      fail "the signed MSI installed rfid-console.exe or tqr_32.dll without its signature"
    msiexec_qn /x "$(winepath -w "$signed/rfid-console-signed.msi")" || fail "msiexec /x of the signed MSI"

    # Our tqr_32.dll in use (held open as a running console holds it) is
    # replaced at the next restart, and the install asks for one (3010);
    # when that cannot be done either, a READERLIBRARY given explicitly
    # fails the upgrade (1603). Windows then rolls back to the old version
    # whole (RemoveExistingProducts runs inside the install's transaction);
    # Wine's msiexec rolls back custom actions only, so that is not checked
    # here. Wine's exit status reaches us as its low byte.
    msiexec_qn /i "$(winepath -w "$out/older.msi")" READERLIBRARY=sim || fail "msiexec /i older.msi"
    hold() { wine "$(winepath -w "$bin/hold_file.exe")" "$(winepath -w "$installed/tqr_32.dll")" 20 & sleep 2; }
    hold
    set +e; msiexec_qn /i "$(winepath -w "$msi")" READERLIBRARY=pcsc; later=$?; set -e
    wait
    quiet wine reg delete 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations /f ||
      true
    rm -f "$installed/tqr_32.dll.new"
    mkdir -p "$installed/tqr_32.dll.new"
    hold
    set +e; msiexec_qn /i "$(winepath -w "$out/newer.msi")" READERLIBRARY=pcsc; failed_upgrade=$?; set -e
    wait
    echo "installer: tqr_32.dll in use: msiexec exit $later (3010 is $((3010 % 256))); not replaceable at all:" \
         "exit $failed_upgrade (1603 is $((1603 % 256)))"
    ((later == 3010 % 256)) || fail "a tqr_32.dll to replace at the next restart: msiexec exit $later, not 3010"
    ((failed_upgrade == 1603 % 256)) || fail "an upgrade that could not apply READERLIBRARY: exit $failed_upgrade, not 1603"
    rm -rf "$installed/tqr_32.dll.new"
    msiexec_qn /x "$(winepath -w "$msi")" || true
    quiet wine reg delete 'HKLM\Software\rfid-console' /f /reg:32 || true
    ;;

  keyboard)
    # The windows on the Windows platform plugin, driven by the keyboard as
    # an operator drives them; screenshots in build/windows/*-949.png.
    platform windows
    start_display :58 1280x1024x24
    # A window manager, as a desk has one: it keeps the console above
    # others and gives the keyboard to the window xdotool activates.
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
    trap 'kill $wm 2>/dev/null || true; stop_display; platform offscreen' EXIT
    TQR_SIM_STATE=$(winepath -w "$state")
    export TQR_SIM_STATE
    source "$RFID_ROOT/scripts/windows/keyboard.sh"
    ;;

  second_copy)
    # A second copy while one runs: refused, its message up, nothing written.
    # On the Windows platform plugin both have real windows, and WM_CLOSE
    # (taskkill without /f) closes the message (status 3) and the running
    # console in order (status 0).
    platform windows
    start_display :57
    trap 'stop_display; platform offscreen' EXIT
    in_app timeout 60 wine tqr-sim.exe block 1 0012345678AAAAAA2020202020202020 >/dev/null 2>&1
    (in_app timeout 60 wine rfid-console.exe >/dev/null 2>"$e2e/first.stderr") &
    first=$!
    for _ in $(seq 100); do grep -q "loaded:" "$e2e/first.stderr" 2>/dev/null && break; sleep 0.2; done
    (in_app timeout 60 wine rfid-console.exe 0099999999 x >"$e2e/second.stdout" 2>"$e2e/second.stderr") &
    second=$!
    for _ in $(seq 100); do grep -q "another copy" "$e2e/second.stderr" 2>/dev/null && break; sleep 0.2; done
    # Wine's taskkill closes the first process of the name it finds: once
    # for each copy.
    for _ in 1 2; do
      sleep 1
      quiet wine taskkill /im rfid-console.exe || true
    done
    set +e
    wait "$second"; status2=$?
    wait "$first"; status1=$?
    set -e
    block=$(block1)
    echo "WM_CLOSE to a second copy's message and to the running console: exit $status2 and $status1, block 01 $block"
    [[ $status2 == 3 ]] || fail "a second copy exited $status2, not 3: $(tail -n 3 "$e2e/second.stderr")"
    [[ ! -s $e2e/second.stdout ]] || fail "a second copy printed something"
    [[ $block == 0012345678AAAAAA* ]] || fail "a second copy changed block 01: $block"
    [[ $status1 == 0 ]] || fail "the running console, closed by WM_CLOSE, exited $status1: $(tail -n 3 "$e2e/first.stderr")"
    ;;

  scaled_desk)
    # The windows at 150 % as Windows scales them (LogPixels 144) on the
    # Windows platform plugin, on a 1920 x 1080 and a 1366 x 768 screen: the
    # desk table's rows (tests/ui) with the prefix's fonts.
    dpi() {
      local key
      for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        quiet wine reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f
      done
    }
    platform windows
    dpi 144
    trap 'stop_display; dpi 96; quiet wineserver -w; platform offscreen' EXIT
    for screen in 1920x1080 1366x768; do
      start_display :56 "${screen}x24"
      log=$out/scaled-$screen.log
      (cd "$bin" && timeout 120 wine on_screen_tests.exe --scale=1.5 --screen="$screen") >"$log" 2>&1 ||
        fail "the windows at 150 % on $screen: $(grep -A3 Failure "$log" | head -n 20 | tr -d '\r')"
      echo "150 % on $screen: $(grep -c '^\[       OK' "$log") of 1 passed"
      stop_display
    done
    ;;

  rig_start)
    # The PC/SC rig beside the release with the PC/SC library as its
    # tqr_32.dll (scripts/windows/build.sh stages it): a display of its own
    # for the console's real windows, there before Wine's server starts,
    # and the rig service (pcsc-rig serve, a Linux program) that starts and
    # stops pcscd for the tests, which are Windows programs.
    rig=$out/tree/rig
    platform windows  # the console's real windows (WM_CLOSE ends a row as taskkill would)
    start_display :59
    # Nothing of it may hold the test's output open: ctest waits for that.
    (cd "$rig" && exec setsid ./pcsc-rig serve </dev/null >rig-service.log 2>&1) </dev/null >/dev/null 2>&1 &
    echo $! >"$out/rig-service.pid"
    for _ in $(seq 100); do grep -q "rig service" "$rig/rig-service.log" 2>/dev/null && break; sleep 0.1; done
    grep -q "rig service" "$rig/rig-service.log" || fail "the rig service did not start: $(cat "$rig/rig-service.log")"
    echo "PC/SC under $(wine --version) (32-bit, WoW64), $(pcscd --version | head -n 1)"
    ;;

  rig_stop)
    [[ -f $out/rig-service.pid ]] && kill "$(cat "$out/rig-service.pid")" 2>/dev/null || true
    rm -f "$out/rig-service.pid"
    stop_display
    ;;

  *)
    echo "scenarios.sh: no scenario $name" >&2
    exit 2
    ;;
esac
exit $failed
