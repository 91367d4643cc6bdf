#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the project:
# the host toolchain and GoogleTest, both mingw-w64 cross compilers, wine64 with
# an X server for the Wine bench, the archivers the tests and benchmarks use,
# zlib for the builder (host and mingw-w64), osslsigncode and openssl for the
# signing test, and clang with its runtime (libFuzzer and the sanitizers) for
# the fuzz build.
# Idempotent: packages already present are not touched. Never installs wine32.
set -euo pipefail

packages=(
  cmake g++ make libgtest-dev zlib1g-dev libz-mingw-w64-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine64 xvfb xauth
  python3 zip unzip p7zip-full libdeflate-tools osslsigncode openssl
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# wine64 recommends the `wine` package that provides the wine command.
command -v wine >/dev/null 2>&1 || missing+=(wine)

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
