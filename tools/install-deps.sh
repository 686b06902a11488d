#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and only those that
# are missing. Uses apt-get as root, sudo otherwise. Debian 12 (bookworm) and 13 (trixie).
set -euo pipefail

# The names that both releases have.
packages=(
  cmake make g++ clang pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libglut-dev libopenal-dev libseccomp-dev libstb-dev libx11-dev
  xvfb xauth xdotool x11-utils x11-apps
)
# The names that differ: the fuzzers' runtime goes with the release's own clang.
. /etc/os-release
case "${VERSION_CODENAME:-}" in
  bookworm) packages+=(libclang-rt-14-dev) ;;
  trixie) packages+=(libclang-rt-19-dev) ;;
  *)
    echo "Debian 12 (bookworm) or 13 (trixie) is needed; this is ${PRETTY_NAME:-unknown}." >&2
    exit 1
    ;;
esac
# The emulator test needs MAME only where the P2000T ROMs are at hand.
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -d "$here/../shared/p2000t/roms/p2000t" ]; then
  packages+=(mame)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
