#!/usr/bin/env bash
# Runs every test on this machine: installs what is missing, configures and
# builds the four presets (win32, win64, host, host-asan), then runs ctest on
# the host build (unit tests, checks of the built stubs, and the Wine
# end-to-end tests, which start and stop their own bench, followed by how many
# Wine cases ran on the 32-bit deliverable) and on the
# sanitizer build (unit tests only), and last fuzzes each libFuzzer target of
# the engine for 30 seconds after its regression inputs (scripts/fuzz.sh).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in win32 win64 host host-asan; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
done

status=0
echo "== ctest build/host"
ctest --test-dir build/host --output-on-failure || status=1
python3 tests/wine/winebench.py tally build/host/wine
echo "== ctest build/host-asan"
ctest --test-dir build/host-asan --output-on-failure --label-exclude wine || status=1
echo "== fuzz"
bash scripts/fuzz.sh 30 || status=1
exit "$status"
