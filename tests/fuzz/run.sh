#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, one after the
# other, each on a scratch copy of its seed corpus in build/fuzz/work/, so the
# committed corpus never grows. Prints per target the executions and the
# coverage (libFuzzer's cov/ft from its last status line), then one line
# "fuzz: N passed, M failed". A crash, a sanitizer report or a broken
# invariant fails its target; the input that did it is kept in
# build/fuzz/work/<target>/artifacts/ and its stack is printed.
#
#   tests/fuzz/run.sh SECONDS [target...]
set -uo pipefail

cd "$(dirname "$0")/../.."
seconds=${1:?usage: tests/fuzz/run.sh SECONDS [target...]}
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(location ini settings catalogue host_frames places anchors viewer entry_html osis biblesync module_zip)

bin_dir=build/fuzz/tests/fuzz
work_root=build/fuzz/work
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

passed=0
failed=0
for target in "${targets[@]}"; do
  bin=$bin_dir/fuzz_$target
  work=$work_root/$target
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  if [ ! -x "$bin" ] || [ ! -d "tests/fuzz/corpus/$target" ]; then
    echo "fuzz_$target: FAILED: no $bin or no tests/fuzz/corpus/$target (make fuzz builds it)"
    failed=$((failed + 1))
    continue
  fi
  cp tests/fuzz/corpus/"$target"/* "$work/corpus/"

  start=$(date +%s)
  "$bin" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1
  rc=$?
  took=$(($(date +%s) - start))

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  status=$(grep -E '^#[0-9]+' "$work/log" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status")
  corpus=$(sed -n 's/.* corp: \([0-9]*\/[0-9a-zA-Z]*\).*/\1/p' <<<"$status")
  figures="executions ${execs:-?}, cov ${cov:-?}, ft ${ft:-?}, corpus ${corpus:-?}, ${took} s"

  if [ $rc -eq 0 ] && [ -n "$execs" ]; then
    echo "fuzz_$target: ok ($figures)"
    passed=$((passed + 1))
  else
    echo "fuzz_$target: FAILED, exit code $rc ($figures); log: $work/log"
    grep -E 'ERROR|invariant broken|runtime error|^ *#[0-9]+ 0x|SUMMARY|Test unit written|^Seed:' \
      "$work/log" | head -n 40 | sed 's/^/  /'
    for artifact in "$work"/artifacts/*; do
      [ -e "$artifact" ] && echo "  reproduce: $bin $artifact"
    done
    failed=$((failed + 1))
  fi
done

echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
