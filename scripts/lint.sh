#!/usr/bin/env bash
# Runs clang-tidy (settings in .clang-tidy) over every source file of the
# project, two files at a time by default, and fails on any finding.
#   scripts/lint.sh [FILE...]
# Without FILE it checks every .cpp under the project folders. The compile
# commands come from a build folder of its own (LINT_BUILD_DIR, default
# build-tidy) that is only configured, never built. LINT_JOBS sets the
# number of parallel clang-tidy runs (default: the number of cores).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINT_BUILD_DIR:-$root/build-tidy}
jobs=${LINT_JOBS:-$(nproc)}
tidy=${CLANG_TIDY:-clang-tidy}
folders=(base zip filter tape card engine cli ui tools bench tests fuzz)

command -v "$tidy" >/dev/null || { echo "lint: $tidy not found (run scripts/install-deps.sh lint)" >&2; exit 2; }

mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/lint-configure.log" 2>&1 || {
  cat "$build/lint-configure.log" >&2; exit 2; }

# The fuzz harnesses are only built by a clang fuzzing build (fuzz/run.sh),
# so they have no entry of their own: they get the flags of a benchmark,
# which links the same libraries and includes from the project root.
db_dir="$build/lint-db"
mkdir -p "$db_dir"
template="$root/bench/nfo_bench.cpp"
jq --arg template "$template" --arg root "$root" '
  . as $all
  | ($all | map(select(.file == $template)) | first) as $t
  | if $t == null then error("no compile command for " + $template) else . end
  | . + [ $ARGS.positional[]
          | . as $f
          | $t + { file: ($root + "/" + $f),
                   command: ($t.command | sub("[^ ]*nfo_bench\\.cpp\\.o"; "lint-" + ($f | gsub("/"; "_")) + ".o")
                                        | sub("-c [^ ]*nfo_bench\\.cpp"; "-c " + $root + "/" + $f)) } ]
' "$build/compile_commands.json" --args $(cd "$root" && ls fuzz/*.cpp) \
  >"$db_dir/compile_commands.json.new"
mv "$db_dir/compile_commands.json.new" "$db_dir/compile_commands.json"

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(cd "$root" && find "${folders[@]}" -name '*.cpp' -type f | sort)
fi
[ ${#files[@]} -gt 0 ] || { echo "lint: no source files" >&2; exit 2; }

# Every file must have a compile command; clang-tidy would otherwise guess one.
missing=$(cd "$root" && for f in "${files[@]}"; do
  jq -e --arg f "$(realpath "$f")" 'any(.[]; .file == $f)' "$db_dir/compile_commands.json" >/dev/null || echo "$f"
done)
if [ -n "$missing" ]; then
  echo "lint: no compile command for:" >&2
  echo "$missing" >&2
  exit 2
fi

echo "lint: clang-tidy on ${#files[@]} files, $jobs at a time"
# Each file's output is printed in one piece once it is done.
cd "$root"
status=0
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$jobs" sh -c '
  out=$("$0" --quiet -p "$1" "$2" 2>&1); rc=$?
  out=$(printf "%s\n" "$out" | grep -Ev "^[0-9]+ (warnings?|errors?)( and [0-9]+ errors?)? generated\.\$")
  if [ $rc -ne 0 ] || [ -n "$out" ]; then printf "%s\n%s\n" "== $2" "$out"; fi
  exit $(( rc != 0 ))
' "$tidy" "$db_dir" || status=1

if [ $status -ne 0 ]; then
  echo "lint: FAILED (findings above)" >&2
else
  echo "lint: no findings"
fi
exit $status
