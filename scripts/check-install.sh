#!/usr/bin/env bash
# Installs a configured and built release tree into a temporary DESTDIR and
# checks that every file is there and that the desktop entry, the AppStream
# metadata and the manual pages pass their validators.
#
# Usage: check-install.sh [BUILD_DIR]   (default: build-release)
set -euo pipefail

build=${1:-build-release}
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
app_id=org.vondral64.quillemsd

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --strip >/dev/null
root=$stage$prefix

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() {
  echo "ok:   $*"
}
# Runs a validator; it passes when it succeeds and prints nothing on stderr.
validate() {
  local what=$1 errors
  shift
  if errors=$("$@" 2>&1 >/dev/null) && [ -z "$errors" ]; then
    pass "$what"
  else
    fail "$what"
    [ -n "$errors" ] && echo "$errors" | sed 's/^/      /'
  fi
}

zsh_dir=site-functions
case $prefix in */usr | /usr/ | /usr) zsh_dir=vendor-completions ;; esac

expected=(
  bin/vqsd bin/vqsd-gui
  share/applications/vqsd.desktop
  share/metainfo/$app_id.metainfo.xml
  share/icons/hicolor/scalable/apps/vqsd.svg
  share/man/man1/vqsd.1.gz share/man/man1/vqsd-gui.1.gz
  share/bash-completion/completions/vqsd
  share/zsh/$zsh_dir/_vqsd
  share/fish/vendor_completions.d/vqsd.fish
  share/doc/vqsd/readme.html share/doc/vqsd/LICENSE share/doc/vqsd/THIRD_PARTY_NOTICES
  share/doc/vqsd/copyright share/doc/vqsd/changelog.gz
)
for size in 16 24 32 48 64 128 256 512; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/vqsd.png")
done
for f in "${expected[@]}"; do
  [ -f "$root/$f" ] || fail "missing $prefix/$f"
done
[ "$failures" -eq 0 ] && pass "all ${#expected[@]} files installed"

for program in vqsd vqsd-gui; do
  description=$(file -b "$root/bin/$program")
  case $description in
    *ELF*executable*", stripped"*) pass "$program is a stripped executable" ;;
    *) fail "$program: $description" ;;
  esac
done
for size in 16 24 32 48 64 128 256 512; do
  description=$(file -b "$root/share/icons/hicolor/${size}x${size}/apps/vqsd.png")
  case $description in
    "PNG image data, $size x $size,"*) ;;
    *) fail "icon ${size}: $description" ;;
  esac
done

validate "desktop-file-validate" desktop-file-validate "$root/share/applications/vqsd.desktop"
validate "appstreamcli validate --no-net" appstreamcli validate --no-net "$root/share/metainfo/$app_id.metainfo.xml"
for page in vqsd vqsd-gui; do
  file=$root/share/man/man1/$page.1.gz
  validate "groff -man -ww -z $page.1" sh -c 'zcat "$1" | groff -man -ww -z' sh "$file"
  validate "man --warnings -l $page.1" env MANWIDTH=80 man --warnings -l "$file"
done

# The bash completion offers the options and the values of --style.
words=$(bash -c 'source "$1"; COMP_WORDS=(vqsd --sty); COMP_CWORD=1; _vqsd; echo "${COMPREPLY[*]}"
                 COMP_WORDS=(vqsd --style ""); COMP_CWORD=2; _vqsd; echo "${COMPREPLY[*]}"' \
        sh "$root/share/bash-completion/completions/vqsd")
if [ "$words" = $'--style\n1541u sd2iec none' ]; then
  pass "bash completion"
else
  fail "bash completion gave: $words"
fi

# The installed program runs and tells its version.
if [ "$("$root/bin/vqsd" --version 2>/dev/null)" = "vqsd $(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")" ]; then
  pass "installed vqsd runs and tells its version"
else
  fail "installed vqsd does not run"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "Install check passed ($prefix)."
