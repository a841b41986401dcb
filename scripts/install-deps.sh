#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo, the install
# check and the package need.
#   scripts/install-deps.sh [lint] [fuzz]
# With "lint" also what `make lint` needs (clang-tidy, jq); with "fuzz" what
# the libFuzzer harnesses need (clang and its fuzzing and sanitizer
# runtimes, fuzz/run.sh).
# Idempotent: runs `apt-get update` once and installs only what is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libpcre2-dev zlib1g-dev libzip-dev libicu-dev
  libgtest-dev libgmock-dev libcli11-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  unzip
  librsvg2-bin desktop-file-utils appstream man-db groff-base file
  dpkg-dev lintian
  dosfstools fusefat fuse3
  user-mode-linux kmod
)
for group in "$@"; do
  case "$group" in
    lint) packages+=(clang-tidy jq) ;;
    # libclang-rt-dev pulls the runtimes of the distribution's clang
    # (libclang-rt-14-dev on Debian 12).
    fuzz) packages+=(clang libclang-rt-dev) ;;
    *) echo "install-deps: unknown group $group" >&2; exit 2 ;;
  esac
done
# PCRE (libpcre) is the default regex library where the distribution still
# has it; without it the build uses PCRE2.
optional=(libpcre3-dev)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
missing_optional=()
for p in "${optional[@]}"; do
  installed "$p" || missing_optional+=("$p")
done

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
for p in "${missing_optional[@]}"; do
  if apt-cache show "$p" >/dev/null 2>&1; then
    missing+=("$p")
  else
    echo "Not in the archive, skipped: $p"
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
