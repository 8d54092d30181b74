#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of our own, which the first
# caller initialises (under a lock, so that parallel tests wait for it).
#
#   wine-run.sh [--prefix DIR] PROGRAM [ARGS...]   run PROGRAM, its exit code is ours
#   wine-run.sh [--prefix DIR] --init              only make the prefix
#   wine-run.sh [--prefix DIR] --remove            stop its wineserver, delete it
#
# The default prefix is ${TMPDIR:-/tmp}/wordtap-wine-$UID. The programs are
# console programs: no display is needed, so none is used.
set -euo pipefail

prefix="${TMPDIR:-/tmp}/wordtap-wine-$(id -u)"
if [ "${1:-}" = "--prefix" ]; then
  prefix="$2"
  shift 2
fi
[ $# -ge 1 ] || { echo "usage: $0 [--prefix DIR] PROGRAM [ARGS...] | --init | --remove" >&2; exit 2; }

export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts; nothing here needs .NET or HTML.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

lock="$prefix.lock"
if [ "$1" = "--remove" ]; then
  exec 9>"$lock"
  flock 9
  if [ -d "$prefix" ]; then
    wineserver -k 9>&- 2>/dev/null || true
    wineserver -w 9>&- 2>/dev/null || true
    rm -rf "$prefix"
  fi
  rm -f "$lock"
  exit 0
fi

if [ ! -e "$prefix/.ready" ]; then
  exec 9>"$lock"
  flock 9
  if [ ! -e "$prefix/.ready" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    # The server keeps running for a minute after the last program, so that
    # a test run does not pay for its start-up again between two tests. It
    # must not inherit the lock.
    if ! { wineserver -p60 && wineboot -i; } >"$prefix/wineboot.log" 2>&1 9>&-; then
      cat "$prefix/wineboot.log" >&2
      echo "wine-run.sh: could not initialise the Wine prefix $prefix" >&2
      exit 1
    fi
    touch "$prefix/.ready"
  fi
  exec 9>&-
fi

[ "$1" = "--init" ] && exit 0
exec wine "$@"
