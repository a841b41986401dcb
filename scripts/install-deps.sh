#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
#   scripts/install-deps.sh [lint]
# With "lint" also what `make lint` needs (clang-tidy, jq).
# Idempotent: runs `apt-get update` once and installs only what is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libpcre3-dev zlib1g-dev libzip-dev libicu-dev
  libgtest-dev libgmock-dev libcli11-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  unzip
  dosfstools fusefat fuse3
)
for group in "$@"; do
  case "$group" in
    lint) packages+=(clang-tidy jq) ;;
    *) echo "install-deps: unknown group $group" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
