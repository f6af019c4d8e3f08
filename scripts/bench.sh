#!/usr/bin/env bash
# Builds the benchmarks in a release build and runs them, printing medians and
# the ratios the project tracks. Not part of CI's pass/fail.
#   scripts/bench.sh [REPETITIONS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
reps=${1:-21}
build="$root/build-bench"
BUILD_TYPE=Release bash "$root/scripts/build.sh" "$build" -DBUILD_TESTING=OFF -DQUILLMERE_BENCHMARKS=ON >/dev/null

median() { # name json-file -> cpu time of the median aggregate
  python3 - "$1" "$2" <<'PY'
import json, sys
name, path = sys.argv[1], sys.argv[2]
for b in json.load(open(path))["benchmarks"]:
    if b.get("run_name") == name and b.get("aggregate_name") == "median":
        print(b["cpu_time"]); break
PY
}

for bench in "$build"/bench/bench_*; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  out=$(mktemp)
  echo "== $(basename "$bench")"
  extra=()
  # The decode ratio compares two benchmarks; on a shared machine their
  # medians drift apart when one runs in a busier minute than the other, so
  # their repetitions are shuffled together and kept short.
  [ "$(basename "$bench")" = bench_decode ] && extra=(--benchmark_enable_random_interleaving=true --benchmark_min_time=0.2)
  "$bench" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true "${extra[@]}" \
           --benchmark_out="$out" --benchmark_out_format=json | grep -E 'median|Benchmark|---' || true
  case "$(basename "$bench")" in
    bench_decode)
      parse=$(median BM_FromJson "$out"); typed=$(median BM_DecodePayload "$out")
      python3 -c "print('typed decode / QJsonDocument::fromJson = %.2f (target <= 1.5)' % ($typed / $parse))" ;;
    bench_snapshot)
      full=$(median BM_RevalidateFull/process_time "$out"); delta=$(median BM_RevalidateDelta20/process_time "$out")
      python3 -c "print('delta / full revalidation CPU = %.2f (target <= 0.6)' % ($delta / $full))" ;;
  esac
  rm -f "$out"
done

echo "== window side"
bash "$root/scripts/bench-shell.sh" "$build"
