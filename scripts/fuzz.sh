#!/usr/bin/env bash
# Fuzzes the extraction engine: bash scripts/fuzz.sh [SECONDS [TARGET]]
# (default 1800 s for each of the targets archive and decoder; naming one
# runs that one, so that two runs can share a machine's cores).
#
# Installs what is missing, builds the fuzz preset (clang, libFuzzer,
# AddressSanitizer and UBSan) into build/fuzz and makes the seeds there
# (tests/fuzz/make_seeds.py). Each target first runs once over its committed
# regression inputs (tests/fuzz/regressions/<target>/), which must all pass,
# then fuzzes for SECONDS, the targets one after the other, each in one
# process, with its working corpus in build/fuzz/corpus/<target> and what it
# finds in build/fuzz/artifacts/<target>/ (emptied at the start). Prints per
# target the executions, the coverage (libFuzzer's cov and ft), the run time
# and the findings; exits non-zero when a regression input fails or a run
# finds anything. An input that ever failed belongs in the regression corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-1800}
targets=${2:-archive decoder}
fuzz=build/fuzz

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
mkdir -p "$fuzz/logs"
if ! cmake --build --preset fuzz -j2 >"$fuzz/logs/build.log" 2>&1; then
  cat "$fuzz/logs/build.log"
  exit 1
fi
python3 tests/fuzz/make_seeds.py "$fuzz/classic_zip" "$fuzz/seeds" | tee "$fuzz/logs/seeds.log"


declare -A max_len=([archive]=1048576 [decoder]=262144)
common=(-timeout=10 -rss_limit_mb=2048)
status=0

for target in $targets; do
  program=$fuzz/${target}_fuzzer
  # The target makes its scratch directories here; a crashed run leaves its own.
  export TMPDIR=$PWD/$fuzz/scratch/$target
  rm -rf "$TMPDIR"
  mkdir -p "$TMPDIR"
  log=$fuzz/logs/${target}_fuzzer.log

  regressions=()
  for input in tests/fuzz/regressions/$target/*; do
    [ -f "$input" ] && regressions+=("$input")
  done
  if [ ${#regressions[@]} -gt 0 ]; then
    if "$program" "${common[@]}" "${regressions[@]}" >"$log" 2>&1; then
      echo "${target}_fuzzer: ${#regressions[@]} regression inputs pass"
    else
      tail -n 40 "$log"
      echo "${target}_fuzzer: a regression input fails (log: $log)"
      status=1
      continue
    fi
  fi

  corpus=$fuzz/corpus/$target
  artifacts=$fuzz/artifacts/$target
  rm -rf "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  start=$(date +%s)
  "$program" "${common[@]}" -max_len="${max_len[$target]}" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "$fuzz/seeds/$target" >"$log" 2>&1 || true
  elapsed=$(($(date +%s) - start))

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
  findings=$(find "$artifacts" -type f | wc -l)
  # A run can also stop on an input of its starting corpus (a timeout there
  # leaves no artifact): its log then ends in libFuzzer's or a sanitizer's
  # summary.
  if [ "$findings" -eq 0 ] && grep -qE '^SUMMARY: ' "$log"; then
    findings=1
  fi
  echo "${target}_fuzzer: ${executions:-?} executions, ${coverage:-no coverage}," \
       "${elapsed} s, $(find "$corpus" -type f | wc -l) corpus inputs, $findings findings"
  if [ "$findings" -ne 0 ]; then
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -n 10 || true
    find "$artifacts" -type f
    status=1
  fi
done
exit "$status"
