#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs each one.
#   scripts/fuzz.sh                 short mode: a fixed number of runs per target
#                                   (seconds in all), for the test command
#   scripts/fuzz.sh --long SECONDS  each target for SECONDS, two at a time, with
#                                   nice; new inputs go to build/fuzz/corpus/<target>
#   scripts/fuzz.sh [--long S] TARGET...   only the named targets
# Environment: X9_FUZZ_BUILD_DIR (default build/fuzz) to use another build
# folder, X9_FUZZ_RUNS (default 2000) for the short mode.
# A finding leaves crash-*/leak-*/timeout-* in the target's log folder and makes
# the script exit non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

long=0
seconds=0
if [ "${1:-}" = "--long" ]; then
  long=1
  seconds=${2:?"--long needs a number of seconds"}
  shift 2
fi

all_targets=(line_scan_fuzz text_driver_fuzz driver_properties_fuzz ini_fuzz address_fuzz script_fuzz frames_fuzz)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

build=${X9_FUZZ_BUILD_DIR:-build/fuzz}
if [ "$build" = build/fuzz ]; then
  cmake --preset fuzz >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
build=$(cd "$build" && pwd)
nice_prefix=()

export QT_QPA_PLATFORM=offscreen
# FILEBUFFERS may ask for a buffer of up to 4 GiB on purpose and keeps the old
# buffer when the allocation fails; capping allocations at 1 GiB (answered with
# null, not a report) lets the fuzzer take that path instead of stopping at
# its own malloc limit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=1024}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# run_one TARGET LIBFUZZER-OPTIONS...: seeds from the repository, new inputs
# (long mode) into a scratch corpus so the repository stays as committed.
run_one() {
  local target=$1
  shift
  local logs="$build/fuzz/logs/$target"
  local scratch="$build/fuzz/corpus/$target"
  mkdir -p "$logs" "$scratch"
  local started=$SECONDS
  if (cd "$logs" && "${nice_prefix[@]}" "$build/fuzz/$target" -max_len=4096 -timeout=10 \
        -rss_limit_mb=2048 "$@" "$scratch" "$repo/fuzz/corpus/$target" >run.log 2>&1); then
    echo "$target: ok ($((SECONDS - started)) s, $(grep -o 'stat::number_of_executed_units: [0-9]*' "$logs/run.log" | grep -o '[0-9]*$' || echo '?') runs)"
  else
    echo "$target: FINDING, see $logs/run.log"
    tail -40 "$logs/run.log"
    return 1
  fi
}

failed=0
if [ $long -eq 0 ]; then
  runs=${X9_FUZZ_RUNS:-2000}
  for target in "${targets[@]}"; do
    run_one "$target" -runs="$runs" -print_final_stats=1 || failed=1
  done
else
  # Two at a time: the machine has two cores, shared.
  nice_prefix=(nice -n 10)
  pids=()
  for target in "${targets[@]}"; do
    run_one "$target" -max_total_time="$seconds" -print_final_stats=1 &
    pids+=($!)
    if [ ${#pids[@]} -eq 2 ]; then
      wait "${pids[0]}" || failed=1
      pids=("${pids[1]}")
    fi
  done
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
fi
exit $failed
