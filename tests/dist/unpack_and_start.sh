#!/usr/bin/env bash
# Unpacks what `make dist` made, as a lab would, and starts the programs in
# it without a display: each must write data/settings.ini and end with exit code 0
# after reporting that no display could be opened. --version and a wrong
# option must touch nothing; the licences, the man page and the zip's one
# folder must be there.
set -euo pipefail
dist=$(cd "${1:?dist folder}" && pwd)
[ -z "${WINE_RUN:-}" ] || WINE_RUN=$(realpath "$WINE_RUN")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
version=$(sed -n 's/^project(wordtap VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")

# The command line: $1 prints its version; a wrong option fails with 2; no file appears.
options() {
  mkdir "$tmp/options" && cd "$tmp/options"
  [ "$("$@" --version | tr -d '\r')" = "wordtap $version" ]
  "$@" --bogus 2>err.txt >/dev/null && exit 1 || [ $? = 2 ] && grep -q -- --bogus err.txt && rm err.txt
  cd "$tmp" && rmdir options  # fails unless empty
}

deb=$(ls "$dist"/wordtap_"$version"_amd64.deb)
dpkg-deb -f "$deb" Depends | grep -q fonts-crosextra-carlito
dpkg-deb -x "$deb" "$tmp/deb"
doc="$tmp/deb/usr/share/doc/wordtap"
test -s "$doc/guide.txt"
grep -qx "License: Expat" "$doc/copyright"
man -l "$tmp/deb/usr/share/man/man1/wordtap.1.gz" 2>/dev/null | grep -q "wordtap - lexical-decision"
if command -v lintian >/dev/null; then lintian --fail-on error "$deb"; fi
options "$tmp/deb/usr/bin/wordtap"
mkdir "$tmp/linux" && cd "$tmp/linux"
env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/deb/usr/bin/wordtap" 2>err.txt
grep -qx "Error73: Couldn't initialize display!" err.txt
test -s data/settings.ini

zip=$(ls "$dist"/wordtap-"$version"-windows-x64.zip)
[ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "wordtap-$version/ wordtap-$version/LICENSE wordtap-$version/guide.txt wordtap-$version/timing-check.cmd wordtap-$version/wordtap.exe " ]
unzip -q "$zip" -d "$tmp/zip"
win="$tmp/zip/wordtap-$version"
# Every line of the texts ends with CR LF, for Notepad.
for text in guide.txt LICENSE timing-check.cmd; do [ "$(grep -c $'\r$' "$win/$text")" = "$(wc -l < "$win/$text")" ]; done
grep -q "MIT License" "$win/LICENSE" && grep -q "mingw-w64" "$win/LICENSE"
if [ -n "${WINE_RUN:-}" ]; then
  options "$WINE_RUN" --prefix "$tmp/wine" "$win/wordtap.exe"
  mkdir "$tmp/windows" && cd "$tmp/windows"
  "$WINE_RUN" --prefix "$tmp/wine" "$win/wordtap.exe" 2>err.txt || true
  "$WINE_RUN" --prefix "$tmp/wine" --remove
  grep -q "Error73: Couldn't initialize display!" err.txt
  test -s data/settings.ini
fi
