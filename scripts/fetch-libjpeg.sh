#!/usr/bin/env bash
# fetch-libjpeg.sh DEST: unpacks Debian's libjpeg-turbo source package into
# DEST once; later calls find it there and return at once.
set -euo pipefail
dest=$1
[ -f "$dest/CMakeLists.txt" ] && exit 0
work=$(mktemp -d "${dest%/*}/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source -qq libjpeg-turbo >/dev/null 2>&1 || {
  apt-get update -qq && apt-get source -qq libjpeg-turbo >/dev/null
}
src=$(find . -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
[ -n "$src" ] || { echo "libjpeg-turbo sources not found" >&2; exit 1; }
rm -rf "$dest"
mv "$src" "$dest"
