#!/usr/bin/env bash
# Runs a command in a copy of this tree inside a Debian 13 root, as on a fresh Debian 13 machine:
#
#   scripts/debian13.sh make test            # any command, run from the copy's top directory
#   scripts/debian13.sh --remove             # unmounts and deletes the root
#
# The root is made on first use with debootstrap from the mirror this machine's apt uses and kept
# (MINTLUX_DEBIAN13_ROOT, default /var/tmp/mintlux-debian13), so a second run costs only the
# build: the copy of the tree and its build/ stay inside it. Needs root (or sudo) for debootstrap,
# mount and chroot. Runs one at a time per root.
set -euo pipefail

root=${MINTLUX_DEBIAN13_ROOT:-/var/tmp/mintlux-debian13}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
copy=/src/mintlux

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=MINTLUX_DEBIAN13_ROOT,CI "$0" "$@"
fi

# Every mount point under the root, deepest first.
mounts_under() {
  awk -v root="$1" '$2 == root || index($2, root "/") == 1 { print $2 }' /proc/self/mounts |
    sort -r
}

# Every process of this run is started with this in its environment, so what it leaves running
# (a daemon, a crashed test's X server) is found and ended with the run: nothing of it keeps the
# root's mounts busy or a display number taken into the next run.
run_tag=MINTLUX_DEBIAN13_RUN=$$.$(date +%s%N)

end_leftovers() {
  local pids=() pid tries
  for pid in $(grep -lsz -x -F "$run_tag" /proc/[0-9]*/environ | cut -d/ -f3); do
    [ "$pid" != $$ ] && pids+=("$pid")
  done
  [ ${#pids[@]} -gt 0 ] || return 0
  kill -TERM "${pids[@]}" 2>/dev/null || true
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    kill -0 "${pids[@]}" 2>/dev/null || return 0
    sleep 0.5
  done
  kill -KILL "${pids[@]}" 2>/dev/null || true
}

# A root is only ever deleted or moved with nothing mounted in it: a recursive removal that
# reaches a bound /dev deletes this machine's device nodes.
release() {
  local target=$1 point
  end_leftovers
  for point in $(mounts_under "$target"); do
    umount -R "$point" 2>/dev/null || umount -R -l "$point" 2>/dev/null || true
  done
  if [ -n "$(mounts_under "$target")" ]; then
    echo "debian13: still mounted under $target:" >&2
    mounts_under "$target" >&2
    return 1
  fi
}

remove_root() {
  local target=$1
  [ -e "$target" ] || return 0
  release "$target"
  # --one-file-system: even if something were mounted after the check, it is not crossed.
  rm -rf --one-file-system "$target"
}

mirror() {
  local uri
  uri=$(grep -hs -E '^(URIs:|deb )' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list |
    grep -m1 -o -E 'https?://[^ ]+/debian/?' || true)
  echo "${uri:-http://deb.debian.org/debian}"
}

install_host_tools() {
  local missing=()
  command -v debootstrap >/dev/null || missing+=(debootstrap)
  command -v rsync >/dev/null || missing+=(rsync)
  command -v flock >/dev/null || missing+=(util-linux)
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

make_root() {
  local partial="$root.partial" url
  url=$(mirror)
  remove_root "$partial"
  echo "debian13: debootstrap trixie from $url into $root"
  mkdir -p "$(dirname "$root")"
  if ! debootstrap --variant=minbase trixie "$partial" "$url" >"$partial.log" 2>&1; then
    tail -n 30 "$partial.log" >&2
    release "$partial" || true
    exit 1
  fi
  rm -f "$partial.log"
  cat >"$partial/etc/apt/sources.list" <<EOF
deb ${url%/} trixie main
deb ${url%/} trixie-updates main
deb ${url%/}-security trixie-security main
EOF
  # No service starts inside the root when its package is installed.
  printf '#!/bin/sh\nexit 101\n' >"$partial/usr/sbin/policy-rc.d"
  chmod 755 "$partial/usr/sbin/policy-rc.d"
  # The project's scripts run as a user would have them: sudo is not needed as root.
  touch "$partial/.mintlux-debian13"
  release "$partial"
  mv "$partial" "$root"
}

mount_root() {
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
  mount -t tmpfs -o mode=755 tmpfs "$root/run"
  # X servers started inside make their sockets here.
  mkdir -p "$root/tmp/.X11-unix"
  chmod 1777 "$root/tmp" "$root/tmp/.X11-unix"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}

if [ "${1:-}" = "--remove" ]; then
  remove_root "$root"
  exit 0
fi
if [ $# -eq 0 ]; then
  sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi

install_host_tools
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9

if [ ! -e "$root/.mintlux-debian13" ]; then
  make_root
fi
release "$root"
trap 'release "$root"' EXIT
trap 'exit 143' TERM INT HUP
mount_root

mkdir -p "$root$copy"
# The tree as it is here, without this machine's build directories; the root's own build/ stays.
# Compared by content and copied with a new time: a file that differs from the copy's is rebuilt
# even when it is older than the root's last build (another checkout, a branch switched back).
rsync -a --no-times --checksum --delete --exclude=/build/ --exclude=/.git --exclude=/.cache/ --exclude=__pycache__/ \
  "$source_dir/" "$root$copy/"

status=0
# Without the lock's descriptor (9): a process left behind must not hold the root for good.
chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$run_tag" \
  /bin/bash -c 'cd "$0" && exec "$@"' "$copy" "$@" 9>&- || status=$?
exit $status
