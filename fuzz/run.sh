#!/bin/sh
# Runs every fuzz target of a QUILLDATA_FUZZ=ON build for its share of SECONDS_TOTAL.
#   fuzz/run.sh BUILD_DIR [SECONDS_TOTAL]      (default 60 seconds in all)
# Each target starts from a copy of its seed corpus (fuzz/corpus/<target>/) in a scratch
# folder, so the tree is never written. On a crash or a failed property the scratch folder is
# kept and the reproducer's path printed; the script exits 1 if any target failed.
# Reproduce with: BUILD_DIR/fuzz/fuzz_<target> REPRODUCER
set -u

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: fuzz/run.sh BUILD_DIR [SECONDS_TOTAL]" >&2
  exit 2
fi
build=$1
total=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)

# target:max_len -- the longest input worth trying for each.
targets="text:1024 sql_text:512 coerce:128 cli:512"
count=0
for t in $targets; do count=$((count + 1)); done
share=$((total / count))
[ "$share" -ge 1 ] || share=1

for t in $targets; do
  name=${t%%:*}
  if [ ! -x "$build/fuzz/fuzz_$name" ]; then
    echo "fuzz: $build/fuzz/fuzz_$name is missing: build it with" >&2
    echo "  cmake -S . -B $build -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUILLDATA_FUZZ=ON" >&2
    echo "  cmake --build $build --target fuzz_all" >&2
    exit 2
  fi
done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

passed=0
failed=0
for t in $targets; do
  name=${t%%:*}
  maxlen=${t#*:}
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/quilldata-fuzz-$name.XXXXXX")
  mkdir -p "$scratch/corpus" "$scratch/artifacts"
  cp "$here/corpus/$name/"* "$scratch/corpus/"
  start=$(date +%s)
  "$build/fuzz/fuzz_$name" -max_total_time="$share" -max_len="$maxlen" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$scratch/artifacts/" \
    "$scratch/corpus" >"$scratch/log" 2>&1
  rc=$?
  secs=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/log" | tail -n 1)
  if [ "$rc" -eq 0 ]; then
    echo "fuzz: $name ok (${runs:-?} inputs in ${secs}s)"
    passed=$((passed + 1))
    rm -rf "$scratch"
  else
    failed=$((failed + 1))
    echo "fuzz: $name FAILED (exit $rc after ${secs}s); its log: $scratch/log"
    grep -E 'property failed|ERROR: |runtime error|SUMMARY' "$scratch/log" | head -n 20
    for f in "$scratch/artifacts/"*; do
      [ -f "$f" ] && echo "fuzz: reproducer: $f  (run: $build/fuzz/fuzz_$name $f)"
    done
  fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
