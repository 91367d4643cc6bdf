#!/usr/bin/env bash
# Builds everything and runs the main job: the stub's "SIZE" report under
# the Wine bench, printing what the UI robot saw. The bench (Xvfb and a
# wineserver for the prefix in build/host/wine) is started and stopped here.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in win32 win64 host host-asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2 >/dev/null
done

bench=tests/wine/winebench.py
bench_dir=build/host/wine
python3 "$bench" start "$bench_dir"
trap 'python3 "$bench" stop "$bench_dir"' EXIT

echo "== build/win64/orvane_stub.exe SIZE (build/win32/orvane_stub.exe is $(stat -c %s build/win32/orvane_stub.exe) bytes)"
python3 "$bench" run "$bench_dir" build/win64 build/win64/orvane_stub.exe SIZE
