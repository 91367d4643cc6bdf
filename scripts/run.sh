#!/usr/bin/env bash
# The main job: installs what is missing, builds the stub (win32 and win64),
# the builder and the Wine bench's programs, makes a demo installer of the
# 32-bit deliverable from the sample payload in scripts/demo/payload and runs
# it under Wine as a user would, printing what it did (scripts/demo.py). The bench (Xvfb and a
# wineserver for the prefix in build/host/wine) is started and stopped here.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in win32 win64 host; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2 >/dev/null
done

bench=tests/wine/winebench.py
bench_dir=build/host/wine
python3 "$bench" start "$bench_dir"
trap 'python3 "$bench" stop "$bench_dir"' EXIT

python3 scripts/demo.py "$bench_dir"
