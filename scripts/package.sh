#!/usr/bin/env bash
# Builds what the installation and the packages need, from one command: the
# win32 preset (the deliverable stub, mkinstaller.exe) and the host preset
# (mkinstaller, its man page), then the packages with cpack into
# build/packages: orvane_VERSION_amd64.deb and orvane-VERSION-linux-x86_64.tar.gz
# (Linux), orvane-VERSION-win32.zip (Windows). SOURCE_DATE_EPOCH, unless set,
# is the last commit's time, so that the same tree gives the same packages.
# Afterwards `cmake --install build/host --prefix DIR` installs without a
# package. Needs what scripts/setup.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)} TZ=UTC

for preset in win32 host; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
done
for preset in win32 host; do
  (cd "build/$preset" && cpack -B "$PWD/../packages" >/dev/null)
done
rm -rf build/packages/_CPack_Packages
ls -l build/packages
