#!/usr/bin/env bash
# Runs each fuzz target (fuzz/fuzz_*.cpp, built in ./build-asan) for SECONDS
# seconds (default 60), one after the other, from its seed corpus in
# fuzz/corpus/<name>. New inputs are kept in build-asan/fuzz-corpus/<name>;
# an input that crashes or shows a difference is saved as
# build-asan/fuzz-findings/<name>-crash-... and the script fails.
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/build-asan.sh >/dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LC_ALL=C.UTF-8

rm -rf build-asan/fuzz-findings
mkdir -p build-asan/fuzz-findings
failed=()
printf '%-10s %12s %8s %8s %s\n' target executions edges features result
for source in fuzz/fuzz_*.cpp; do
  name="$(basename "$source" .cpp)"
  short="${name#fuzz_}"
  work="build-asan/fuzz-corpus/$short"
  log="build-asan/fuzz-findings/$name.log"
  mkdir -p "$work"
  result=ok
  # -timeout: an input that takes 10 s is a hang; -rss_limit_mb: runaway memory.
  if ! "build-asan/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="build-asan/fuzz-findings/$name-" \
       "$work" "fuzz/corpus/$short" >"$log" 2>&1; then
    result="FINDING (see $log)"
    failed+=("$name")
  fi
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  last="$(grep -E '^#[0-9]+' "$log" | tail -1 || true)"
  edges="$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")"
  features="$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")"
  printf '%-10s %12s %8s %8s %s\n' "$short" "${execs:-?}" "${edges:-?}" "${features:-?}" "$result"
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
