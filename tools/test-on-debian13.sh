#!/usr/bin/env bash
# Runs `make test` on Debian 13 (trixie) from this machine: debootstrap makes a minimal trixie
# system in a chroot from the mirror this machine's apt uses, a fresh clone of the committed
# project goes into a private (0700) folder in it with a read-only copy of ../shared beside
# it, as CI has them, and the tests run there as root.
#
#   tools/test-on-debian13.sh             a fresh chroot in a temporary folder, removed after
#   tools/test-on-debian13.sh DIR         the chroot in DIR: made there when DIR is missing or
#                                         empty, used again when it is one this script made;
#                                         kept after, so that repeated runs are fast
#   tools/test-on-debian13.sh --prepare DIR
#                                         only makes the chroot in DIR and installs the
#                                         project's Debian packages in it
#
# Needs root and debootstrap. JOBS is passed on to make.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
prepare_only=false
if [ "${1:-}" = --prepare ]; then
  prepare_only=true
  shift
  [ $# -eq 1 ] || { echo "--prepare needs the chroot's folder" >&2; exit 2; }
fi
[ $# -le 1 ] || { echo "usage: $0 [--prepare] [DIR]" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "$0 needs root (debootstrap, chroot, mount)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "$0 needs debootstrap (apt-get install debootstrap)" >&2; exit 2; }

# The first non-security Debian mirror that apt uses here.
mirror_of_this_machine() {
  local uri
  uri=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }' \
          /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  if [ -z "$uri" ]; then
    uri=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true)
  fi
  echo "${uri:-http://deb.debian.org/debian}"
}

marker=.morvane-debian13  # in the chroot's root: this script made it
temporary=false
if [ $# -eq 1 ]; then
  root=$(realpath -m "$1")
else
  root=$(mktemp -d "${TMPDIR:-/tmp}/morvane-debian13-XXXXXX")
  temporary=true
fi
if [ -d "$root" ] && [ -n "$(ls -A "$root")" ] && [ ! -e "$root/$marker" ]; then
  echo "$root is neither empty nor a chroot made by this script" >&2
  exit 2
fi

mounted=()
clean_up() {
  local status=$? index
  for ((index = ${#mounted[@]} - 1; index >= 0; index--)); do
    umount "${mounted[index]}" 2>/dev/null || umount -l "${mounted[index]}" || true
  done
  if $temporary; then
    rm -rf --one-file-system "$root"
  fi
  exit "$status"
}
trap clean_up EXIT
trap 'exit 130' INT TERM HUP

mount_in_root() {  # mount_in_root TARGET MOUNT-ARGUMENTS...
  local target=$root$1
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}

started=$SECONDS
if [ ! -e "$root/$marker" ]; then
  mirror=$(mirror_of_this_machine)
  echo "== debootstrap trixie from $mirror into $root"
  mkdir -p "$root"
  chmod 755 "$root"  # the chroot's /, which every user must pass (mktemp made it 0700)
  debootstrap --variant=minbase --include=make,git,ca-certificates trixie "$root" "$mirror"
  # No services start inside the chroot while packages are installed.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  touch "$root/$marker"
  echo "== debootstrap took $((SECONDS - started)) s"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

mount_in_root /proc -t proc proc
mount_in_root /sys -t sysfs sysfs
mount_in_root /dev --bind /dev
mount_in_root /dev/pts --bind /dev/pts
mount_in_root /dev/shm -t tmpfs -o mode=1777 tmpfs
mount_in_root /tmp -t tmpfs -o mode=1777 tmpfs

# A fresh clone in a folder that other users cannot enter, with ../shared beside it.
work=/root/morvane-ci
rm -rf "${root:?}$work"
mkdir -p "$root$work"
chmod 700 "$root$work"
git clone -q --no-hardlinks "$here" "$root$work/morvane"
if [ -d "$here/../shared" ]; then
  cp -rL "$here/../shared" "$root$work/shared"
  chmod -R a-w "$root$work/shared"
fi

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd $work/morvane && $1"
}

step=$SECONDS
in_root tools/install-deps.sh
echo "== installing the packages took $((SECONDS - step)) s"
if $prepare_only; then
  rm -rf "${root:?}$work"
  exit 0
fi
echo "== testing $(git -C "$root$work/morvane" log -1 --format='%h %s')"
step=$SECONDS
status=0
# -k: the other suites run too when one fails, to see all that this release does.
in_root "make -k test ${JOBS:+JOBS=$JOBS}" || status=$?
echo "== make test took $((SECONDS - step)) s, $((SECONDS - started)) s in all; it ended with $status"
exit "$status"
