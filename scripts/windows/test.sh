#!/usr/bin/env bash
# Builds the Windows release and its tests, and runs them under Wine: the
# unit tests on Qt's offscreen platform, then end to end the unattended
# write through our simulated tqr_32.dll, once under the Korean ANSI code
# page (949) and once under the Western one (1252); the installer, the
# keyboard runs and a second copy on the Windows platform plugin under Xvfb.
# Everything under Wine runs in the one Wine tree (wine-tree.sh): Debian
# unstable's WoW64 Wine runs the 32-bit programs inside 64-bit processes.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
source "$RFID_ROOT/scripts/windows/wine-tree.sh"
out=$RFID_ROOT/build/windows

if [[ -z ${RFID_IN_TREE:-} ]]; then
  # Outside: the release, its tests, an older and a newer installer for the
  # upgrades; then this script again, inside the tree.
  RFID_WINDOWS_TESTS=1 scripts/windows/build.sh >/dev/null
  scripts/windows/msi.sh "$out/rfid-console-win32" 0.9.0 "$out/older.msi" >/dev/null
  scripts/windows/msi.sh "$out/rfid-console-win32" 99.0.0 "$out/newer.msi" >/dev/null
  # Every program and library of ours says its version to Windows.
  for f in "$out/rfid-console-win32"/{rfid-console,rfid-legacy,tqr-sim}.exe \
           "$out/rfid-console-win32"/{sim,pcsc}/tqr_32.dll; do
    text=$(strings -el "$f")
    for field in FileVersion ProductVersion FileDescription ProductName LegalCopyright "$(rfid_version)"; do
      grep -qx -- "$field" <<<"$text" || { echo "FAILED: $f has no $field in its version resource"; exit 1; }
    done
  done
  echo "version resources: the three programs and both reader libraries say $(rfid_version)"
  rfid_wine_tree
  echo "== $(rfid_in_tree 'wine --version') (Debian unstable, WoW64): the tree holds no i386 loader," \
       "so no 32-bit Linux program runs; Wine's parts: $(rfid_in_tree 'ls /usr/lib/x86_64-linux-gnu/wine | tr "\n" " "')"
  rfid_in_tree scripts/windows/test.sh
  exit
fi
bin=$out/tree/bin

# Wine: no Mono or Gecko prompts, no noise (rfid_in_tree sets both). Wine
# takes the ANSI code page from LC_ALL: ko_KR.UTF-8 gives 949, C.UTF-8
# gives 1252. The tree's Korean locale keeps non-ASCII file names and
# command-line words whole under 949.
failed=0
step() { echo "== $*"; }
fail() { echo "FAILED: $*"; failed=1; }

# One prefix per run and code page, in the build tree.
run_id=$(date +%s)-$$
rm -rf "$out"/wine-*
prefix_for() {
  local cp=$1 lang=$2
  export WINEPREFIX=$out/wine-$run_id-$cp LC_ALL=$lang LANG=$lang
  wineboot -i >/dev/null 2>&1
  # Wine hands the program no QT_ variable from here: they go through the
  # prefix's user environment.
  wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
  wineserver -w
}

# Tests of Linux behaviour the Windows build does not have: the stay-on-top
# window flag (Windows calls SetWindowPos, which needs a desktop) and argv
# in UTF-8 (Windows reads the wide command line instead).
declare -A skip=(
  [console_tests]="ConsoleTest.LoadKeepsTheConsoleAboveOtherWindows:CommandLine.WordsAreJoinedAndSplitAtEverySingleSpace"
)

for run in "949 ko_KR.UTF-8" "1252 C.UTF-8"; do
  read -r cp lang <<<"$run"
  step "code page $cp (LC_ALL=$lang)"
  prefix_for "$cp" "$lang"

  tests=(reader_tests sim_tests console_tests request_tests legacy_tests)
  for t in "${tests[@]}"; do
    filter=${skip[$t]:-}
    if ! (cd "$bin" && timeout 600 wine "$t.exe" --gtest_brief=1 ${filter:+--gtest_filter=-$filter} \
            >"$out/$t-$cp.log" 2>&1); then
      tail -n 40 "$out/$t-$cp.log"
      fail "$t under code page $cp (log: build/windows/$t-$cp.log)"
    else
      echo "$t: $(grep -E '^\[  PASSED  \]' "$out/$t-$cp.log")"
    fi
  done
  grep -q "ANSI code page $cp" "$out/reader_tests-$cp.log" ||
    fail "the programs did not run under code page $cp: $(grep 'ANSI code page' "$out/reader_tests-$cp.log")"

  # End to end: the release as a user unpacks it, with our simulated reader
  # beside rfid-console.exe; under 949 in a Korean folder, with the card's
  # state under a Korean path.
  e2e=$out/e2e-$cp
  app=$e2e/app state=$e2e/tqr-sim.state
  if [[ $cp == 949 ]]; then app="$e2e/카드 등록" state=$e2e/상태/tqr-sim.state; fi
  rm -rf "$e2e"
  mkdir -p "$app" "$(dirname "$state")"
  unzip -q "$out/rfid-console-win32.zip" -d "$app"
  cp "$app/sim/tqr_32.dll" "$app/tqr_32.dll"
  cp "$bin/platforms/qoffscreen.dll" "$app/platforms/"  # no display here
  TQR_SIM_STATE=$(winepath -w "$state")
  export TQR_SIM_STATE
  set +e
  (cd "$app" && timeout 120 wine rfid-console.exe 0012345678 홍길동 >"$e2e/stdout" 2>"$e2e/stderr")
  status=$?
  set -e
  block=$(cd "$app" && timeout 60 wine tqr-sim.exe block 1 2>&1 | tr -d '\r')
  stdout=$(tr -d '\r' <"$e2e/stdout")
  echo "rfid-console.exe 0012345678 홍길동: exit $status, stdout '$stdout', block 01 $block"
  [[ $status == 0 ]] || fail "rfid-console.exe exited $status (code page $cp)"
  [[ $stdout == 0012345678 ]] || fail "standard output was '$stdout', not 0012345678 (code page $cp)"
  grep -q "write verified: 0012345678" "$e2e/stderr" ||
    fail "no 'write verified' on standard error (code page $cp): $(tail -n 5 "$e2e/stderr")"
  [[ $block == *0012345678AAAAAA* ]] || fail "block 01 holds '$block' (code page $cp)"

  # README-Windows.txt's cmd example, run as it stands but in the unpacked
  # folder: the number and the status in a batch file, the status by
  # start /wait.
  if [[ $cp == 949 ]]; then
    sed -n '/^  @echo off/,/^  echo %ERRORLEVEL%/{s/^  //;/^cd \/d/d;s/$/\r/;p}' scripts/windows/README-Windows.txt |
      iconv -f UTF-8 -t CP949 >"$app/call.bat"
    said=$(cd "$app" && wine cmd /c call.bat 2>/dev/null | tr -d '\r' | tr '\n' ' ')
    echo "cmd call.bat from README-Windows.txt: $said"
    [[ $said == "status 0 number 0012345678 0 " ]] || fail "README-Windows.txt's cmd example said '$said'"
  fi

  # The installer, as a desk's IT runs it, silently: an older version with
  # the simulated reader, this one over it (the choice kept), removed whole;
  # then the PC/SC reader chosen by the registry value IT may set, the
  # maker's DLL copied over ours, a newer version over it and the removal,
  # both of which leave the maker's DLL alone.
  if [[ $cp == 949 ]]; then
    msi=$out/rfid-console-$(rfid_version)-win32.msi
    # A 32-bit installer on a 64-bit Windows: Program Files (x86), and the
    # registry's 32-bit view.
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
    msiexec_qn /i "$(winepath -w "$out/older.msi")" READERLIBRARY=sim || fail "msiexec /i older.msi"
    msiexec_qn /i "$(winepath -w "$msi")" || fail "msiexec /i $(basename "$msi") over the older one"
    versions=$(arp)
    lnk=$(find "$(winepath -u 'C:\')" -name 'RFID 카드 등록.lnk' | head -1)
    echo "installer: upgraded without READERLIBRARY: Add/Remove Programs lists RFID Console $versions;" \
         "Start menu: ${lnk##*/}; tqr_32.dll: $(placed)"
    [[ $versions == "$(rfid_version) " ]] ||
      fail "after the upgrade Add/Remove Programs lists versions '$versions'"
    [[ -n $lnk ]] || fail "no Start-menu entry 'RFID 카드 등록'"
    [[ $(placed) == sim ]] || fail "the upgrade did not keep the simulated reader: $(placed)"
    cp "$bin/platforms/qoffscreen.dll" "$installed/platforms/"  # no display here
    set +e
    (cd "$e2e" && timeout 120 wine "$(winepath -w "$installed/rfid-console.exe")" 0012345678 홍길동 \
       >"$e2e/msi.stdout" 2>"$e2e/msi.stderr")
    status=$?
    set -e
    rm "$installed/platforms/qoffscreen.dll"
    echo "installed rfid-console.exe 0012345678 홍길동: exit $status, stdout '$(tr -d '\r' <"$e2e/msi.stdout")'"
    [[ $status == 0 && $(tr -d '\r' <"$e2e/msi.stdout") == 0012345678 ]] ||
      fail "the installed console: exit $status, $(tail -n 3 "$e2e/msi.stderr")"
    msiexec_qn /x "$(winepath -w "$msi")" || fail "msiexec /x"
    left=$(find "$installed" -mindepth 1 2>/dev/null | wc -l || true)
    [[ $left == 0 && -z $(arp) ]] || fail "after msiexec /x: $left files left, versions '$(arp)'"

    wine reg add 'HKLM\Software\rfid-console' /v ReaderLibrary /d pcsc /f /reg:32 >/dev/null 2>&1
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
  fi

  # The windows on the Windows platform plugin, driven by the keyboard as an
  # operator drives them; screenshots in build/windows/*-949.png.
  if [[ $cp == 949 ]]; then
    source scripts/windows/keyboard.sh
  fi

  # A second copy while one runs: refused, its message up, nothing written.
  # On the Windows platform plugin (under Xvfb) both have real windows, and
  # WM_CLOSE (taskkill without /f) closes the message (status 3) and the
  # running console in order (status 0).
  if [[ $cp == 1252 ]]; then
    wine reg delete 'HKCU\Environment' /v QT_QPA_PLATFORM /f >/dev/null 2>&1
    rfid_start_xvfb :57 1024x768x24
    wineserver -k || true  # Wine picks its display driver when its server starts
    sleep 1
    (cd "$app" && exec timeout 60 wine rfid-console.exe >/dev/null 2>"$e2e/first.stderr") &
    first=$!
    for _ in $(seq 100); do grep -q "loaded:" "$e2e/first.stderr" 2>/dev/null && break; sleep 0.2; done
    (cd "$app" && exec timeout 60 wine rfid-console.exe 0099999999 x >"$e2e/second.stdout" 2>"$e2e/second.stderr") &
    second=$!
    for _ in $(seq 100); do grep -q "another copy" "$e2e/second.stderr" 2>/dev/null && break; sleep 0.2; done
    # Wine's taskkill closes the first process of the name it finds: once
    # for each copy.
    for _ in 1 2; do
      sleep 1
      wine taskkill /im rfid-console.exe >/dev/null 2>&1 || true
    done
    set +e
    wait "$second"; status2=$?
    wait "$first"; status1=$?
    set -e
    rfid_stop_xvfb
    block=$(cd "$app" && timeout 60 wine tqr-sim.exe block 1 2>&1 | tr -d '\r')
    echo "WM_CLOSE to a second copy's message and to the running console: exit $status2 and $status1, block 01 $block"
    [[ $status2 == 3 ]] || fail "a second copy exited $status2, not 3: $(tail -n 3 "$e2e/second.stderr")"
    [[ ! -s $e2e/second.stdout ]] || fail "a second copy printed something"
    [[ $block == 0012345678AAAAAA* ]] || fail "a second copy changed block 01: $block"
    [[ $status1 == 0 ]] || fail "the running console, closed by WM_CLOSE, exited $status1: $(tail -n 3 "$e2e/first.stderr")"
    grep -q "close request from the system" "$e2e/first.stderr" ||
      echo "note: the console ended without a WM_CLOSE of its own: $(tail -n 2 "$e2e/first.stderr")"
  fi
  unset TQR_SIM_STATE
  wineserver -k || true
done

if ((failed)); then
  echo "Windows tests: FAILED"
  exit 1
fi
echo "Windows tests: all passed"
