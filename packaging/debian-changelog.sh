#!/bin/sh
# Debian's changelog made from CHANGELOG.md: an entry for each
# "## VERSION (YYYY-MM-DD)" section, its "- " items as "  * " lines.
# Usage: debian-changelog.sh CHANGELOG.md "Name <address>" OUTPUT
set -eu
exec >"$3"
awk -v who="$2" '
  function finish() {
    if (version == "") return
    command = "date -u -R -d \"" day " 12:00\""
    command | getline stamp
    close(command)
    printf "rfid-console (%s) unstable; urgency=medium\n\n%s\n -- %s  %s\n\n", version, items, who, stamp
  }
  /^## / { finish(); version = $2; day = $3; gsub(/[()]/, "", day); items = ""; next }
  version == "" { next }
  /^- / { items = items "  * " substr($0, 3) "\n"; next }
  /^  [^ ]/ { items = items "    " substr($0, 3) "\n"; next }
  END { finish() }
' "$1"
