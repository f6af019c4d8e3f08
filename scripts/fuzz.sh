#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (the core library with
# them, under AddressSanitizer and UndefinedBehaviorSanitizer) and runs each
# for SECONDS of new input after its seed corpus, then prints per target the
# executions, the coverage reached and whether it crashed.
#   scripts/fuzz.sh [SECONDS]      (default 60)
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_TARGETS
# (names to run, default all), FUZZ_JOBS (build jobs, and targets run at
# once), FUZZ_MAX_LEN (largest input, default 64 KiB), FUZZ_RUNS (stop a
# target after this many inputs should that come first), FUZZ_WORK (where new corpus entries and crash
# inputs go; default a temporary folder). A crash input is kept in
# FUZZ_WORK/NAME/; once the fault is fixed, add it to tests/fuzz/corpus/NAME
# so that it is run every time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD:-$root/build-fuzz}
work=${FUZZ_WORK:-$(mktemp -d /tmp/quillmere-fuzz-run.XXXXXX)}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILLMERE_FUZZ=ON -DBUILD_TESTING=OFF -DQUILLMERE_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
ninja -C "$build" -j"${FUZZ_JOBS:-$(nproc)}" fuzz-targets

targets=${FUZZ_TARGETS:-$(cd "$root/tests/fuzz" && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//')}
# Our own sanitizer settings, whatever the caller exported. Allocations keep
# two frames of their stack: Qt is built without frame pointers, so deeper
# fast unwinds read stale stack words, and each such bogus stack is a new
# entry in ASan's stack store, which then grows by about a kilobyte an input
# and slows every allocation (full unwinding is four times slower). To see a
# report's whole allocation stack, run its input again with
# ASAN_OPTIONS=malloc_context_size=30:fast_unwind_on_malloc=0. Leaks are
# looked for after every input that allocated more than it freed, and once
# more when a target ends.
export ASAN_OPTIONS="detect_leaks=1:malloc_context_size=2:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
flags=(-timeout=25 -rss_limit_mb=4096 -detect_leaks=1 -max_len="${FUZZ_MAX_LEN:-65536}")
runs=()
[ -n "${FUZZ_RUNS:-}" ] && runs=(-runs="$FUZZ_RUNS")

# fuzz_one NAME: the seed corpus, then new input; leaves its summary line in
# $work/NAME/summary and fails when the target did.
fuzz_one() {
  local name=$1
  local seeds="$root/tests/fuzz/corpus/$name"
  local out="$work/$name"
  mkdir -p "$out/new" "$seeds"
  local log="$out/log"
  echo "== fuzz $name: ${seconds}s"
  local dict=()
  [ -f "$root/tests/fuzz/dict/$name.dict" ] && dict=(-dict="$root/tests/fuzz/dict/$name.dict")
  local rc=0
  # The seed corpus alone first, so that an input once found to crash fails
  # at once; then new input for the given time (new inputs go to $out/new;
  # the corpus in the repository is only read).
  (cd "$out" && "$build/tests/fuzz/fuzz_$name" "${flags[@]}" -runs=0 -artifact_prefix="$out/" "$seeds") \
    >"$out/replay.log" 2>&1 || rc=$?
  if [ "$rc" -eq 0 ]; then
    (cd "$out" && "$build/tests/fuzz/fuzz_$name" "${flags[@]}" "${dict[@]}" "${runs[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$out/" "$out/new" "$seeds") >"$log" 2>&1 || rc=$?
  else
    cp "$out/replay.log" "$log"
  fi
  local execs cov ft crashes
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  crashes=$(find "$out" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  printf '%-16s %12s %8s %8s %8s\n' "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$crashes" >"$out/summary"
  if [ "$rc" -ne 0 ] || [ "$crashes" -ne 0 ]; then
    {
      echo "   $name failed (exit $rc); the report:"
      grep -E 'ERROR|SUMMARY|runtime error|==[0-9]+==|#[0-9]+ 0x' "$log" | head -40 || true
      find "$out" -maxdepth 1 -name '*-*' -type f | sed 's/^/   input: /'
    } >&2
    return 1
  fi
}

# The targets run side by side, one a processor (FUZZ_JOBS sets how many):
# each still gets its full time.
status=0
parallel=${FUZZ_JOBS:-$(nproc)}
pids=()
for name in $targets; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
    wait -n || true
  done
  fuzz_one "$name" &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done

printf '%-16s %12s %8s %8s %8s\n' target executions coverage features crashes
for name in $targets; do
  cat "$work/$name/summary" 2>/dev/null || printf '%-16s %12s\n' "$name" "(no result)"
done
echo "(logs and any crash inputs: $work)"
exit $status
