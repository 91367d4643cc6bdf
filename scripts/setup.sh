#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the project:
# the host toolchain and GoogleTest, both mingw-w64 cross compilers, wine64 with
# an X server for the Wine bench (and xwininfo, with which the install benchmark
# sees the windows shown), the archivers the tests and benchmarks use,
# zlib for the builder (host and mingw-w64) and liblzma for the host builder's
# LZMA entries and the tests' LZMA streams, osslsigncode and openssl for the
# signing test, and clang with its runtime (libFuzzer and the sanitizers) for
# the fuzz build, NSIS (the peer of the install benchmark) and icoutils,
# help2man (the man page), man-db (its test) and dpkg-dev (the Debian
# package's dependencies).
# Then, where the kernel runs 32-bit x86 programs, 32-bit Wine beside the
# 64-bit one (see install_wine32 below); where it does not, it says so and the
# Wine tests run the 64-bit programs only.
# Idempotent: packages already present are not touched.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ make libgtest-dev zlib1g-dev libz-mingw-w64-dev liblzma-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  xvfb xauth x11-utils
  python3 zip unzip p7zip-full xz-utils libdeflate-tools osslsigncode openssl
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  clang libclang-rt-14-dev nsis icoutils
  help2man man-db dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

# An index that fails to download (a mirror in sync) is reported and left
# out; the versions the other indexes offer are enough.
refresh_indexes() {
  $SUDO apt-get update -qq || echo "setup: apt-get update reported failures; going on with the indexes it has"
}

if [ ${#missing[@]} -gt 0 ]; then
  refresh_indexes
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine. Where the kernel runs 32-bit x86 programs, the multiarch way:
# wine32:i386 beside wine64 gives one `wine` that runs 32- and 64-bit
# programs in one prefix, as 64-bit Windows does, so the tests run the 32-bit
# deliverable and the 64-bit tools side by side. Both widths come in one
# request: multiarch packages must have the same version in both
# architectures, and the release suite is preferred (-t) because a security
# suite whose i386 index is missing or out of step would leave amd64 versions
# without an i386 twin. The request is simulated first; if apt cannot do it,
# or would remove anything, 64-bit Wine alone is installed and the 32-bit
# runs are skipped, with the reason printed.
wine64_only=(wine wine64 libwine)
both_widths=(wine wine64 libwine wine32:i386 libwine:i386)

install_wine() {
  local codename plan reason
  if [ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wine64 ]; then
    return 0
  fi
  if ! reason=$(python3 tests/wine/winebench.py probe-i386); then
    echo "setup: no 32-bit Wine: $reason"
    [ -x /usr/lib/wine/wine64 ] || $SUDO apt-get install -y -qq --no-install-recommends "${wine64_only[@]}" >/dev/null
    return 0
  fi
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
  refresh_indexes
  if ! plan=$(apt-get install -s ${codename:+-t "$codename"} --no-install-recommends "${both_widths[@]}" 2>&1); then
    echo "setup: no 32-bit Wine: apt cannot install it here: $(echo "$plan" | grep -m1 '^E:')"
  elif echo "$plan" | grep -q '^Remv '; then
    echo "setup: no 32-bit Wine: installing it would remove" $(echo "$plan" | sed -n 's/^Remv \([^ ]*\).*/\1/p')
  else
    $SUDO apt-get install -y -qq ${codename:+-t "$codename"} --no-install-recommends "${both_widths[@]}" >/dev/null
    return 0
  fi
  [ -x /usr/lib/wine/wine64 ] || $SUDO apt-get install -y -qq --no-install-recommends "${wine64_only[@]}" >/dev/null
}

install_wine
# Whatever happened above, 64-bit Wine must work.
[ -x /usr/lib/wine/wine64 ] || { echo "setup: wine64 is missing after the set-up" >&2; exit 1; }
