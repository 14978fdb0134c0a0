#!/usr/bin/env bash
# Runs COMMAND where the 32-bit Windows program and its tests can run: under
# the 64-bit Wine of Debian 13 in its WoW64 mode, inside a Debian 13 chroot.
#
#   scripts/wow64.sh COMMAND [ARG...]     e.g. scripts/wow64.sh ctest --preset windows-x86
#
# This kernel cannot start 32-bit Linux programs, so the usual 32-bit Wine
# cannot work here; Wine's WoW64 mode runs 32-bit Windows code inside a
# 64-bit process and needs no 32-bit Linux library. Debian 12 has no such
# Wine, hence the chroot.
#
# The chroot is made when missing and reused when present, in
# TAVRIN_WOW64_ROOT (default /var/cache/tavrin-wow64; about 1.7 GB), by
# debootstrap from the mirror in TAVRIN_DEBIAN_MIRROR; a lock beside it
# keeps two runs from making it at once. Delete the folder to make it anew.
#
# COMMAND runs in a private mount namespace and PID namespace of its own: the
# chroot's proc, sysfs, /dev and /tmp, and the checkout at its own path in
# the chroot, are mounted there only. When COMMAND ends, however it ends (even
# when this script is killed), every process in those namespaces is killed
# and the mounts go with them; none of them is ever seen outside, so nothing
# stays mounted and deleting the checkout or the chroot is always safe. The
# build's wine-run.sh sees TAVRIN_WOW64_ROOT set to the prepared chroot and
# runs each program in it.
set -euo pipefail
checkout=$(cd "$(dirname "$0")/.." && pwd -P)
self=$checkout/scripts/wow64.sh
root=${TAVRIN_WOW64_ROOT:-/var/cache/tavrin-wow64}
mirror=${TAVRIN_DEBIAN_MIRROR:-http://deb.debian.org/debian}
ready=$root/.tavrin-wow64-ready

die() {
  echo "wow64.sh: $*" >&2
  exit 1
}

# Fresh kernel file systems and a /dev of its own in the chroot at $1 (inside
# a private mount namespace only): a bind of the host's /dev would let a
# deletion in the chroot reach the host's device nodes.
mount_system() {
  local dir=$1 node
  mount -t proc proc "$dir/proc"
  mount -t sysfs sysfs "$dir/sys"
  mount -t tmpfs -o mode=0755,nosuid tmpfs "$dir/dev"
  for node in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
    IFS=: read -r name major minor <<<"$node"
    mknod -m 0666 "$dir/dev/$name" c "$major" "$minor"
  done
  mkdir "$dir/dev/pts" "$dir/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$dir/dev/pts"
  ln -s pts/ptmx "$dir/dev/ptmx"
  ln -s /proc/self/fd "$dir/dev/fd"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$dir/dev/shm"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$dir/tmp"
}

# Debian 13 with the 64-bit Wine only, plus the 32-bit Windows DLLs of the
# same Wine: they are unpacked from libwine:i386, not installed, since its
# 32-bit Linux libraries cannot run here. Runs in a private mount namespace.
install_wine() {
  local dir=$1
  mount_system "$dir"
  cp /etc/resolv.conf "$dir/etc/resolv.conf"
  chroot "$dir" /bin/sh -eu -c '
    export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends wine64 wine >/dev/null
    version=$(dpkg-query -W -f="\${Version}" libwine)
    dpkg --add-architecture i386
    apt-get update -qq
    cd /tmp
    apt-get download -qq "libwine:i386=$version"
    dpkg --remove-architecture i386
    rm -rf /var/lib/apt/lists/*
    dpkg-deb -x libwine_*_i386.deb i386
    cp -a i386/usr/lib/i386-linux-gnu/wine/i386-windows/. /usr/lib/x86_64-linux-gnu/wine/i386-windows/
    apt-get clean
    echo "$(WINEDEBUG=-all wine --version) from libwine $version"
  '
}

make_root() {
  command -v debootstrap >/dev/null || die "debootstrap is missing (Debian: apt-get install debootstrap)"
  local partial=$root.partial
  rm -rf "$partial"
  echo "wow64.sh: making the Debian 13 chroot $root from $mirror" >&2
  debootstrap --variant=minbase trixie "$partial" "$mirror" >"$partial.log" 2>&1 ||
    { cat "$partial.log" >&2; die "debootstrap failed"; }
  rm -f "$partial.log"
  unshare --mount --propagation private --pid --fork --kill-child --mount-proc \
    "$self" --install-wine "$partial"
  mv "$partial" "$root"
  touch "$ready"
  echo "wow64.sh: made $root in $SECONDS s" >&2
}

# Inside the new namespaces: mounts, then COMMAND.
run_inside() {
  mount_system "$root"
  mkdir -p "$root$checkout"
  mount --bind "$checkout" "$root$checkout"
  export TAVRIN_WOW64_ROOT=$root
  local status=0
  "$@" || status=$?
  stop_the_rest
  return "$status"
}

# The first process of the PID namespace asks the others (Wine's servers)
# to end, so that they write their prefix's registry, and waits a little for
# them: its own end kills whatever remains.
stop_the_rest() {
  kill -TERM -1 2>/dev/null || true
  local tries=0 pid others
  while [ $tries -lt 50 ]; do
    others=0
    for pid in /proc/[0-9]*; do
      pid=${pid#/proc/}
      [ "$pid" != $$ ] && [ "$pid" != "$BASHPID" ] || continue
      grep -q '^[^ ]* ([^)]*) [^Z]' "/proc/$pid/stat" 2>/dev/null && others=1
    done
    [ $others -eq 0 ] && return
    sleep 0.1
    tries=$((tries + 1))
  done
}

case ${1-} in
  --install-wine) install_wine "$2"; exit ;;
  --inside) shift; run_inside "$@"; exit ;;
  '') die "usage: scripts/wow64.sh COMMAND [ARG...]" ;;
esac

[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot and mounts)"
mkdir -p "$(dirname "$root")"
(
  flock 9
  [ -e "$ready" ] || make_root
) 9>"$root.lock"

# --kill-child: when this script dies, so does the namespaces' first process,
# and with it every other process in the PID namespace.
exec unshare --mount --propagation private --pid --fork --kill-child --mount-proc \
  "$self" --inside "$@"
