#!/usr/bin/env bash
# A value the console stores on a Wine phone outlives a `kill -9` of the prefix's wine server: the
# console writes what it changed before it ends (it ends the server it started, which writes the
# registry), so a server killed afterwards, with a program of the prefix still running, loses
# nothing of it.
# And a console with another TMPDIR meets that same running server, so it never reads a registry
# the server has not written yet.
#   killed_server_test.sh CONSOLE PREFIX WINE-PREFIX-TOOL STATE-HELPER
set -euo pipefail
console=$1 prefix=$2 tool=$3 helper=$4
export VELMORA_WINEPREFIX="$prefix"
unset TMPDIR
other_tmp="$(mktemp -d)"
trap 'rm -rf "$other_tmp"' EXIT
"$tool" stop
"$console" --wine "$prefix" reg set S5 dword 777
# A program of the prefix keeps a wine server running: the one the kill finds.
exec 3> >("$tool" run --own-display "$helper" serve >/dev/null 2>&1)
for _ in $(seq 100); do
  WINEPREFIX="$prefix" timeout 5 wineserver -k0 2>/dev/null && break
  sleep 0.1
done
sleep 1
"$console" --wine "$prefix" reg set S4 dword 555
got="$(TMPDIR="$other_tmp" "$console" --wine "$prefix" reg get S4)"
[ "$got" = "dword 4 555" ] || { echo "with another TMPDIR: '$got', where 'dword 4 555' was stored" >&2; exit 1; }
WINEPREFIX="$prefix" wineserver -k9 || { echo "no wine server to kill" >&2; exit 1; }
exec 3>&-
sleep 1
got="$("$console" --wine "$prefix" reg get S5)"
"$tool" stop
[ "$got" = "dword 4 777" ] || { echo "after the kill: '$got', where 'dword 4 777' was stored" >&2; exit 1; }
