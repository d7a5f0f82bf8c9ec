#!/usr/bin/env bash
# Signs the Windows release with a code-signing certificate, after
# scripts/windows/build.sh:
#   scripts/windows/sign.sh CERT.pfx PASSWORD-FILE [STAGE OUT.msi]
# Every .exe and .dll of the staged release (build/windows/rfid-console-win32
# unless STAGE is given) is signed in place (SHA-256, osslsigncode), the MSI
# is made again from the signed files (its custom actions' DLL signed too)
# and signed, and the default stage's zip gets the signed files.
# RFID_SIGN_TIMESTAMP names an RFC 3161 timestamp server; when it does not
# answer, the files are signed without a timestamp, and the script says so.
#
# scripts/windows/sign.sh --file FILE signs one file with the certificate
# already in RFID_SIGN_CERT and RFID_SIGN_PASSWORD_FILE (msi.sh uses it).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"

# sign FILE: in place, timestamped while the server answers.
sign() {
  local file=$1 signed=$1.signed
  local args=(sign -pkcs12 "$RFID_SIGN_CERT" -readpass "$RFID_SIGN_PASSWORD_FILE" -h sha256
              -n "RFID Console" -in "$file" -out "$signed")
  rm -f "$signed"
  if [[ -n ${RFID_SIGN_TIMESTAMP:-} ]]; then
    if timeout 60 osslsigncode "${args[@]}" -ts "$RFID_SIGN_TIMESTAMP" >/dev/null 2>&1; then
      mv -f "$signed" "$file"
      return 0
    fi
    echo "rfid: warning: timestamp server $RFID_SIGN_TIMESTAMP did not answer: signing without a" \
         "timestamp (such a signature lapses when the certificate expires)" >&2
    RFID_SIGN_TIMESTAMP=
    rm -f "$signed"
  fi
  rfid_step "signing $file" osslsigncode "${args[@]}" || return 1
  mv -f "$signed" "$file"
}

if [[ ${1:-} == --file ]]; then
  sign "$2"
  exit 0
fi
(($# == 2 || $# == 4)) || { echo "usage: $0 CERT.pfx PASSWORD-FILE [STAGE OUT.msi]" >&2; exit 2; }
rfid_install osslsigncode zip
out=$RFID_ROOT/build/windows
version=$(rfid_version)
RFID_SIGN_CERT=$(realpath "$1") RFID_SIGN_PASSWORD_FILE=$(realpath "$2")
stage=${3:-$out/rfid-console-win32} msi=${4:-$out/rfid-console-$version-win32.msi}
export RFID_SIGN_CERT RFID_SIGN_PASSWORD_FILE RFID_SIGN_TIMESTAMP
[[ -d $stage ]] || { echo "rfid: no release in $stage: run scripts/windows/build.sh first" >&2; exit 1; }

mapfile -t files < <(cd "$stage" && find . -type f \( -iname '*.exe' -o -iname '*.dll' \) | sort)
for f in "${files[@]}"; do sign "$stage/$f"; done
scripts/windows/msi.sh "$stage" "$version" "$msi" >/dev/null
sign "$msi"
if [[ $stage == "$out/rfid-console-win32" ]]; then
  (cd "$stage" && zip -q "$out/rfid-console-win32.zip" "${files[@]#./}")
fi
echo "signed ${#files[@]} programs and libraries in $stage, and $msi"
