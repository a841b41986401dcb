#!/usr/bin/env bash
# Runs one command on FAT32 card images through the Linux vfat driver, in
# user-mode Linux: a Linux kernel that runs as a normal process (no root, no
# KVM) and sees this machine's files at their own paths.
#
#   scripts/on-fat-card.sh [OPTION]... IMAGE MOUNTPOINT [IMAGE MOUNTPOINT]... -- COMMAND [ARG]...
#   scripts/on-fat-card.sh --mkfs SIZE_MB IMAGE...
#   scripts/on-fat-card.sh --check
#
# Each card IMAGE (up to 8) is mounted (vfat, utf8) at its MOUNTPOINT, a
# folder made when missing; COMMAND runs as the calling user, in the calling
# folder, with the caller's environment, and reads and writes the cards at
# their MOUNTPOINTs. Its standard output and error come back once it has
# ended. Then the cards are unmounted and the kernel powered off, unless a
# power cut was asked for. Without a COMMAND, only --mkfs is done.
# Inside, the cards are /dev/ubda, /dev/ubdb... in the order given; the
# seventh field of /sys/block/ubda/stat counts the sectors written to the
# first, which a --cut-when test can read without starting a program:
#   'read -r _ _ _ _ _ _ sectors _ </sys/block/ubda/stat; [ "$sectors" -ge 5000 ]'
#
# Options:
#   --mkfs SIZE_MB       make each IMAGE anew first: SIZE_MB MiB, mkfs.fat -F 32
#   --cut-after-ms N     cut the power N ms after COMMAND starts
#   --cut-when TEST      cut the power as soon as the shell test TEST holds,
#                        polled every 20 ms in the calling folder while
#                        COMMAND runs, e.g.
#                        '[ "$(find /mnt/card | wc -l)" -ge 500 ]'
#   --writeback-ms N     the kernel writes out dirty data as soon as it is N ms
#                        old, checking every N ms (its defaults: 30 s, 5 s), so
#                        that a power cut finds the card close behind COMMAND
#   --mount-options OPT  more vfat mount options, comma separated (e.g. ro)
#   --timeout SECONDS    give up and end the kernel after SECONDS (default 600)
#   --check              only check that the kernel, its modules and the tools
#                        are here: exit 0, or 125 with the reason
#
# A power cut is `echo o > /proc/sysrq-trigger`: no sync, no unmount; what the
# kernel had not yet written to the card is lost. When COMMAND ends before
# the cut's moment, the power is cut at once as it ends.
#
# Exit status: COMMAND's own; 99 when the power was cut while COMMAND ran;
# 124 when the kernel was ended on the timeout; 125 when the card could not
# be made or mounted or the kernel did not run (the reason on stderr); 130
# when interrupted. A COMMAND that itself ends with one of these is not told
# apart.
#
# Environment: LINUX_UML, the kernel (default: linux.uml on PATH);
# UML_MODULES, its modules folder (default: /usr/lib/uml/modules/<version>).
# The kernel keeps its memory in a file of TMPDIR, /dev/shm or /tmp,
# whichever first allows programs to run from it.
# Debian packages: user-mode-linux, kmod, dosfstools.
set -euo pipefail

readonly kCutStatus=99 kTimeoutStatus=124 kFailStatus=125

fail() {
  echo "on-fat-card: $*" >&2
  exit $kFailStatus
}
usage() {
  sed -n '6,8p' "$0" | sed 's/^# *//' >&2
  fail "$*"
}
number() {
  [[ $2 =~ ^[0-9]+$ ]] || usage "$1 takes a number, not '$2'"
}
# Whether a program is here, on PATH or in the folders of the system's tools.
have() {
  PATH=$PATH:/usr/sbin:/sbin command -v "$1" >/dev/null
}

mkfs_mb="" cut_ms="" cut_test="" writeback_ms="" mount_options="" timeout_s=600 check=""
places=()  # IMAGEs and MOUNTPOINTs; options may stand before, between or after them
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --mkfs) number "$1" "${2-}"; mkfs_mb=$2; shift 2 ;;
    --cut-after-ms) number "$1" "${2-}"; cut_ms=$2; shift 2 ;;
    --cut-when) [ -n "${2-}" ] || usage "--cut-when takes a shell test"; cut_test=$2; shift 2 ;;
    --writeback-ms) number "$1" "${2-}"; writeback_ms=$2; shift 2 ;;
    --mount-options) mount_options=${2-}; shift 2 ;;
    --timeout) number "$1" "${2-}"; timeout_s=$2; shift 2 ;;
    --check) check=1; shift ;;
    -*) usage "unknown option $1" ;;
    *) places+=("$1"); shift ;;
  esac
done
[ $# -eq 0 ] || shift  # the "--"
if [ -n "$check" ]; then
  :
elif [ $# -eq 0 ]; then
  [ -n "$mkfs_mb" ] && [ ${#places[@]} -gt 0 ] || usage "IMAGE, MOUNTPOINT, -- and a command are needed"
elif [ ${#places[@]} -lt 2 ] || [ $((${#places[@]} % 2)) -ne 0 ] || [ ${#places[@]} -gt 16 ]; then
  usage "one to eight pairs of IMAGE and MOUNTPOINT are needed before --"
fi
[ -z "$cut_ms" ] || [ -z "$cut_test" ] || usage "--cut-after-ms and --cut-when exclude each other"

# The kernel and its modules.
uml=${LINUX_UML:-$(command -v linux.uml || true)}
[ -n "$uml" ] && [ -x "$uml" ] ||
  fail "linux.uml (user-mode Linux) is missing: install the Debian package user-mode-linux"
modules=${UML_MODULES:-}
if [ -z "$modules" ]; then
  version=$("$uml" --version 2>/dev/null | head -n 1 || true)
  modules=/usr/lib/uml/modules/$version
  if [ ! -d "$modules" ]; then
    # A kernel that reports no version: the one folder of modules there is.
    candidates=(/usr/lib/uml/modules/*/)
    [ ${#candidates[@]} -eq 1 ] && [ -d "${candidates[0]}" ] && modules=${candidates[0]%/}
  fi
fi
for module in fat/fat fat/vfat nls/nls_cp437 nls/nls_iso8859-1 nls/nls_utf8; do
  [ -f "$modules/kernel/fs/$module.ko" ] ||
    fail "the kernel module $module.ko is missing under $modules (Debian package user-mode-linux)"
done
have insmod || fail "insmod is missing: install the Debian package kmod"
have mkfs.fat || fail "mkfs.fat is missing: install the Debian package dosfstools"
have setpriv || [ "$(id -u)" = 0 ] || fail "setpriv is missing: install the Debian package util-linux"

# A folder that allows programs to run from it, for the kernel's memory.
exec_folder() {
  local folder probe
  for folder in "${TMPDIR:-}" /dev/shm /tmp; do
    [ -n "$folder" ] && [ -d "$folder" ] && [ -w "$folder" ] || continue
    probe=$(mktemp "$folder/on-fat-card-probe.XXXXXX") || continue
    printf '#!/bin/sh\nexit 0\n' >"$probe" && chmod +x "$probe"
    if "$probe" 2>/dev/null; then
      rm -f "$probe"
      echo "$folder"
      return 0
    fi
    rm -f "$probe"
  done
  return 1
}
memory=$(exec_folder) || fail "no folder of TMPDIR, /dev/shm and /tmp allows programs to run from it"
[ -z "$check" ] || exit 0

images=() mountpoints=() disks=()
step=2
[ $# -gt 0 ] || step=1
for ((i = 0; i < ${#places[@]}; i += step)); do
  images+=("$(realpath -m -- "${places[i]}")")
  [ $step -eq 1 ] || mountpoints+=("$(realpath -m -- "${places[i + 1]}")")
done
for image in "${images[@]}"; do
  if [ -n "$mkfs_mb" ]; then
    rm -f -- "$image"
    truncate -s "${mkfs_mb}M" -- "$image" && PATH=$PATH:/usr/sbin:/sbin mkfs.fat -F 32 -- "$image" >/dev/null ||
      fail "cannot make a FAT32 image at $image"
  fi
  [ -f "$image" ] && [ -w "$image" ] || fail "no writable card image at $image"
  disks+=("ubd${#disks[@]}=$image")
done
[ $# -gt 0 ] || exit 0
for mountpoint in "${mountpoints[@]}"; do
  mkdir -p -- "$mountpoint" || fail "cannot make the mount point $mountpoint"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/on-fat-card.XXXXXX")
trap 'rm -rf "$work"' EXIT
# What the guest needs, each a file in the work folder (the guest sees it).
env -0 >"$work/env"
printf '%s\0' "$@" >"$work/argv"
printf '%s' "$cut_test" >"$work/cut-test"
uid=$(id -u) gid=$(id -g) groups=$(id -G | tr ' ' ',')
options=utf8
[ "$uid" = 0 ] || options+=",uid=$uid,gid=$gid"
[ -z "$mount_options" ] || options+=",$mount_options"

# The guest's init: sets up, mounts the cards, runs the command (and the
# power cut beside it), then unmounts and powers off. It reports to the host
# through files of the work folder: "error", "status" and "cut".
cat >"$work/init" <<EOF
#!/bin/bash
work=$(printf '%q' "$work")
modules=$(printf '%q' "$modules")
mountpoints=($(printf '%q ' "${mountpoints[@]}"))
options=$(printf '%q' "$options")
cwd=$(printf '%q' "$PWD")
uid=$uid gid=$gid groups=$groups
cut_ms=$(printf '%q' "$cut_ms") writeback_ms=$(printf '%q' "$writeback_ms")
EOF
cat >>"$work/init" <<'EOF'
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
exec >>"$work/guest.log" 2>&1
power_off() {
  echo o >/proc/sysrq-trigger
  while :; do sleep 1; done
}
fail() {
  echo "$*" >"$work/error"
  power_off
}
mount -t proc proc /proc || fail "cannot mount /proc"
mount -t sysfs sysfs /sys || fail "cannot mount /sys"
[ -e /dev/ubda ] || mount -t devtmpfs devtmpfs /dev || fail "cannot mount /dev"
for module in fat/fat fat/vfat nls/nls_cp437 nls/nls_iso8859-1 nls/nls_utf8; do
  insmod "$modules/kernel/fs/$module.ko" || fail "insmod $module.ko failed"
done
if [ -n "$writeback_ms" ]; then
  centis=$(( (writeback_ms + 9) / 10 ))
  echo "$centis" >/proc/sys/vm/dirty_expire_centisecs
  echo "$centis" >/proc/sys/vm/dirty_writeback_centisecs
fi
letters=abcdefgh
for i in "${!mountpoints[@]}"; do
  disk=/dev/ubd${letters:i:1}
  mount -t vfat -o "$options" "$disk" "${mountpoints[i]}" || fail "$disk does not mount (vfat, $options)"
done
setpriv=$(command -v setpriv)

# The caller's environment in place of the kernel's, for what runs on its behalf.
caller_env() {
  local name entry
  for name in $(compgen -e); do unset "$name"; done
  while IFS= read -r -d '' entry; do export "$entry" 2>/dev/null || true; done <"$work/env"
}
cut() {
  : >"$work/cut"
  power_off
}
watcher=""
if [ -n "$cut_ms" ]; then
  (sleep "$(printf '%d.%03d' $((cut_ms / 1000)) $((cut_ms % 1000)))"; cut) &
  watcher=$!
elif [ -s "$work/cut-test" ]; then
  # Polled without starting a program: a read that times out on a pipe
  # nobody writes to is the pause.
  mkfifo /dev/on-fat-card-pause
  (
    test=$(<"$work/cut-test")
    exec 9<>/dev/on-fat-card-pause
    caller_env
    cd "$cwd" || exit
    until eval "$test" 2>/dev/null; do read -r -t 0.02 -u 9 _; done
    cut
  ) &
  watcher=$!
fi
mapfile -d '' argv <"$work/argv"
status=0
(
  caller_env
  cd "$cwd" || exit 125
  if [ "$uid" = 0 ]; then
    exec "${argv[@]}"
  fi
  exec "$setpriv" --reuid="$uid" --regid="$gid" --groups="$groups" -- "${argv[@]}"
) </dev/null >"$work/stdout" 2>"$work/stderr" || status=$?
echo "$status" >"$work/status"
if [ -n "$watcher" ]; then
  kill "$watcher" 2>/dev/null
  cut
fi
for mountpoint in "${mountpoints[@]}"; do
  umount "$mountpoint" || fail "$mountpoint does not unmount"
done
power_off
EOF
chmod +x "$work/init"

# The kernel runs in a process group of its own (timeout makes one), which
# an interrupt from the terminal does not reach: it is passed on.
TMPDIR=$memory timeout --kill-after=10 "$timeout_s" "$uml" mem=512M quiet \
  root=/dev/root rootfstype=hostfs rootflags=/ rw init="$work/init" \
  "${disks[@]}" uml_dir="$work" umid=card con=null \
  </dev/null >"$work/uml.log" 2>&1 &
kernel=$!
trap 'kill -TERM "$kernel" 2>/dev/null; wait "$kernel" || true; exit 130' INT TERM
uml_status=0
wait "$kernel" || uml_status=$?
trap - INT TERM
[ ! -f "$work/stdout" ] || cat "$work/stdout"
[ ! -f "$work/stderr" ] || cat "$work/stderr" >&2
if [ -f "$work/error" ]; then
  cat "$work/guest.log" >&2 2>/dev/null || true
  fail "$(cat "$work/error")"
fi
if [ -f "$work/status" ]; then
  status=$(cat "$work/status")
  exit "$status"
fi
if [ -f "$work/cut" ]; then
  echo "on-fat-card: the power was cut while the command ran" >&2
  exit $kCutStatus
fi
if [ $uml_status -eq 124 ] || [ $uml_status -eq 137 ]; then
  echo "on-fat-card: the kernel was ended after $timeout_s s" >&2
  exit $kTimeoutStatus
fi
tail -n 20 "$work/uml.log" >&2
fail "the kernel ended (status $uml_status) before the command did"
