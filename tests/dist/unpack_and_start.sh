#!/usr/bin/env bash
# Unpacks what `make dist` made, as a lab would, and starts the programs in
# it without a display: each must write data/settings.ini and end with exit code 0
# after reporting that no display could be opened.
set -euo pipefail
dist=$(cd "${1:?dist folder}" && pwd)
[ -z "${WINE_RUN:-}" ] || WINE_RUN=$(realpath "$WINE_RUN")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

deb=$(ls "$dist"/wordtap_*_amd64.deb)
dpkg-deb -f "$deb" Depends | grep -q fonts-crosextra-carlito
dpkg-deb -x "$deb" "$tmp/deb"
test -s "$tmp/deb/usr/share/doc/wordtap/guide.txt"
mkdir "$tmp/linux" && cd "$tmp/linux"
env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/deb/usr/bin/wordtap" 2>err.txt
grep -qx "Error73: Couldn't initialize display!" err.txt
test -s data/settings.ini

zip=$(ls "$dist"/wordtap-*-windows-x64.zip)
unzip -q "$zip" -d "$tmp/zip"
test -s "$tmp/zip/guide.txt"
test -s "$tmp/zip/timing-check.cmd"
if [ -n "${WINE_RUN:-}" ]; then
  mkdir "$tmp/windows" && cd "$tmp/windows"
  "$WINE_RUN" --prefix "$tmp/wine" "$tmp/zip/wordtap.exe" 2>err.txt || true
  "$WINE_RUN" --prefix "$tmp/wine" --remove
  grep -q "Error73: Couldn't initialize display!" err.txt
  test -s data/settings.ini
fi
