#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build-fuzz and runs each one.
#   fuzz/run.sh [SECONDS [HARNESS...]]
# SECONDS per harness defaults to 300; HARNESS is t64 or nfo (default: every
# harness whose source exists). Each run starts from the seeds in
# fuzz/corpus/<name>, grows a working corpus in build-fuzz/corpus/<name>, and
# prints its run count. Crash inputs land in build-fuzz/crashes/<name>.
set -euo pipefail

seconds=${1:-300}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for name in t64 nfo manifest; do
    [ -f "$root/fuzz/${name}_fuzz.cpp" ] && harnesses+=("$name")
  done
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DVQ_FUZZ=ON -DVQ_BUILD_UI=OFF -DVQ_BUILD_TESTS=OFF
targets=()
for name in "${harnesses[@]}"; do targets+=(--target "${name}_fuzz"); done
cmake --build "$build" "${targets[@]}" -j 2

status=0
for name in "${harnesses[@]}"; do
  corpus="$build/corpus/$name"
  crashes="$build/crashes/$name"
  log="$build/${name}_fuzz.log"
  mkdir -p "$corpus" "$crashes"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds+=("$root/fuzz/corpus/$name")
  echo "== ${name}_fuzz for ${seconds} s (log: $log)"
  if ! "$build/fuzz/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$crashes/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    echo "${name}_fuzz FAILED; see $log and $crashes"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  echo "${name}_fuzz: ${runs:-?} runs, ${rate:-?} runs/s, corpus $(ls "$corpus" | wc -l) inputs"
done
exit $status
