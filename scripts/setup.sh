#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Quorvanell.
# Idempotent: when everything is present it returns in well under a second.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest
  g++-mingw-w64-i686-posix nasm
  wine wine32:i386 fonts-wine
  xvfb xauth x11-apps
  fp-utils dpkg-dev
  dosfstools
  libjpeg-turbo-progs
  python3
)

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

src_list=/etc/apt/sources.list.d/quorvanell-src.sources
need_src=0
[ -f "$src_list" ] || need_src=1
need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
missing=$(missing_packages)

if [ "$need_src" = 0 ] && [ "$need_i386" = 0 ] && [ -z "$missing" ]; then
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" = 0 ] || sudo_cmd=(sudo)

if [ "$need_i386" = 1 ]; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
if [ "$need_src" = 1 ]; then
  # Source packages: libjpeg-turbo is built for the target from Debian's sources.
  "${sudo_cmd[@]}" tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync can fail one list; what the others hold may
# still be enough, so the install below decides.
"${sudo_cmd[@]}" apt-get update -qq || echo "setup: a package list could not be read; going on with the others" >&2
# shellcheck disable=SC2046
if ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends $(missing_packages) >/dev/null; then
  # Without one architecture's list of security updates, the 32-bit libraries
  # cannot match the 64-bit ones apt would update: take the release's own.
  echo "setup: installing again from the release's own packages" >&2
  # shellcheck disable=SC2046
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends -t bookworm $(missing_packages) >/dev/null
fi
