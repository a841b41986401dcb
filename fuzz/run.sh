#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build-fuzz and runs each one;
# first installs what is missing (scripts/install-deps.sh fuzz).
#   fuzz/run.sh [SECONDS [HARNESS...]]
# SECONDS per harness defaults to 300; HARNESS is the name of a harness
# fuzz/<name>_fuzz.cpp, such as t64, nfo, ini or filter (default: every
# harness whose source exists). RUNS, when set, also ends each run after
# that many inputs; JOBS sets the build's parallel jobs (default: the
# number of cores). Each run reads the seeds in fuzz/corpus/<name> without
# touching them, grows a working corpus in build-fuzz/corpus/<name>, and
# prints its run count. An input that runs longer than 30 s counts as a
# hang. Crash and hang inputs land in build-fuzz/crashes/<name>; the exit
# status is 1 when any harness found one.
#
# To refresh the seeds from a working corpus, keep the named seeds, add the
# inputs that reach new code, then the small inputs (SMALL: the working
# corpus's files under a few hundred bytes) that reach it more often, and
# put NEW in place of fuzz/corpus/<name>:
#   cp fuzz/corpus/<name>/*.* NEW/
#   build-fuzz/fuzz/<name>_fuzz -merge=1 -use_counters=0 NEW build-fuzz/corpus/<name>
#   build-fuzz/fuzz/<name>_fuzz -merge=1 NEW SMALL
set -euo pipefail

seconds=${1:-300}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

bash "$root/scripts/install-deps.sh" fuzz

runs=${RUNS:-}
jobs=${JOBS:-$(nproc)}

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*_fuzz.cpp; do
    [ -f "$source" ] || continue
    name=$(basename "$source" _fuzz.cpp)
    harnesses+=("$name")
  done
fi
for name in "${harnesses[@]}"; do
  if [ ! -f "$root/fuzz/${name}_fuzz.cpp" ]; then
    echo "fuzz/run.sh: no harness $name (fuzz/${name}_fuzz.cpp)" >&2
    exit 2
  fi
done

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DVQ_FUZZ=ON -DVQ_BUILD_UI=OFF -DVQ_BUILD_TESTS=OFF
targets=()
for name in "${harnesses[@]}"; do targets+=(--target "${name}_fuzz"); done
cmake --build "$build" "${targets[@]}" -j "$jobs"

status=0
for name in "${harnesses[@]}"; do
  corpus="$build/corpus/$name"
  crashes="$build/crashes/$name"
  log="$build/${name}_fuzz.log"
  mkdir -p "$corpus" "$crashes"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds+=("$root/fuzz/corpus/$name")
  limits=(-max_total_time="$seconds" -timeout=30)
  [ -n "$runs" ] && limits+=(-runs="$runs")
  echo "== ${name}_fuzz for ${seconds} s${runs:+ or $runs runs} (log: $log)"
  if ! "$build/fuzz/${name}_fuzz" "${limits[@]}" -print_final_stats=1 \
      -artifact_prefix="$crashes/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    tail -n 30 "$log"
    echo "${name}_fuzz FAILED; see $log and $crashes"
    status=1
  fi
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  echo "${name}_fuzz: ${done_runs:-?} runs, ${rate:-?} runs/s, corpus $(ls "$corpus" | wc -l) inputs"
done
exit $status
