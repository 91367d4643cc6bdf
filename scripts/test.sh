#!/usr/bin/env bash
# Runs every test on this machine: installs what is missing, configures and
# builds the four presets (win32, win64, host, host-asan), then runs ctest on
# the host build (unit tests, checks of the built stubs, and the Wine
# end-to-end tests, which start and stop their own bench, followed by how many
# Wine cases ran on the 32-bit deliverable) and on the
# sanitizer build (unit tests only), and last fuzzes each libFuzzer target of
# the engine for 30 seconds after its regression inputs (scripts/fuzz.sh).
# It ends with a summary of what the run left out and why: each skipped test
# or test case with its reason (ctest's JUnit reports, scripts/test_summary.py),
# the 32-bit deliverable when this machine cannot run it, and the fuzz seeds
# without the reference archives (ORVANE_CORPUS_DIR) when they are not there.
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
reports=("$PWD/build/host/ctest-report.xml" "$PWD/build/host-asan/ctest-report.xml")
rm -f "${reports[@]}"
# The reports keep every test's output whole: the skips are read from it.
kept=(--test-output-size-passed 4000000 --test-output-size-failed 4000000)
echo "== ctest build/host"
ctest --test-dir build/host --output-on-failure --output-junit "${reports[0]}" "${kept[@]}" || status=1
tally=$(python3 tests/wine/winebench.py tally build/host/wine)
echo "$tally"
echo "== ctest build/host-asan"
ctest --test-dir build/host-asan --output-on-failure --label-exclude wine \
  --output-junit "${reports[1]}" "${kept[@]}" || status=1
echo "== fuzz"
bash scripts/fuzz.sh 30 || status=1

notes=()
while IFS= read -r line; do
  notes+=(--note "$line")
done < <(grep -h -e '^32-bit end-to-end cases skipped' <<<"$tally"
         grep -h -e '^seeds: no reference archives' build/fuzz/logs/seeds.log 2>/dev/null)
python3 scripts/test_summary.py "${reports[@]}" "${notes[@]}"
exit "$status"
