#!/bin/sh
# Runs every test executable of a normal (not sanitized) build under valgrind memcheck, one
# after the other, and fails when any of them has a memory error or leaks.
#   scripts/valgrind.sh BUILD_DIR [GTEST_FILTER]
# Only the test programs are checked: what they exec (the quilldata tool, a throwaway
# PostgreSQL server) runs natively; what they fork (death tests, writer processes) stays
# under valgrind and is checked too, each process in its own log. GTEST_FILTER (default: all)
# can leave tests out, e.g. '-*DeathTest*'.
# Set VALGRIND_LOGS=DIR to keep every log (default: a scratch folder, kept on failure).
set -u

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: scripts/valgrind.sh BUILD_DIR [GTEST_FILTER]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
filter=${2:-*}
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind: not installed (scripts/bootstrap.sh installs it)" >&2
  exit 2
fi

tests=$(find "$build/tests" -type f -name 'test_*' -perm -u+x 2>/dev/null | sort)
if [ -z "$tests" ]; then
  echo "valgrind: no test executables under $build/tests: build the tests first" >&2
  exit 2
fi

logs=${VALGRIND_LOGS:-$(mktemp -d "${TMPDIR:-/tmp}/quilldata-valgrind.XXXXXX")}
mkdir -p "$logs"

passed=0
failed=0
started=$(date +%s)
for t in $tests; do
  name=$(basename "$t")
  log="$logs/$name.log"
  vglogs="$logs/$name.valgrind"  # one file per process: forked children report on their own
  rm -rf "$vglogs" && mkdir -p "$vglogs"
  start=$(date +%s)
  # Tests find their data relative to the folder CTest runs them in.
  (cd "$(dirname "$t")" &&
    valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --show-leak-kinds=definite,indirect --error-exitcode=99 --num-callers=30 \
      --suppressions="$here/valgrind.supp" --log-file="$vglogs/%p.log" \
      "$t" --gtest_filter="$filter" --gtest_brief=1) >"$log" 2>&1
  rc=$?
  secs=$(($(date +%s) - start))
  errors=$(cat "$vglogs"/*.log | sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' |
    awk '{ n += $1 } END { print n + 0 }')
  if [ "$rc" -eq 0 ]; then
    echo "valgrind: $name clean (${secs}s)"
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    if [ "$rc" -eq 99 ]; then
      echo "valgrind: $name NOT CLEAN: $errors errors (${secs}s); logs: $vglogs/"
      # The first few reports, each with its innermost frames, lines cut to a readable width.
      grep -E -A6 '^==[0-9]+== (Invalid|Conditional|Use of|Syscall|Mismatched|Source and|[0-9,]+ .*bytes in .* definitely lost)' \
        "$vglogs"/*.log | cut -c1-160 | head -n 40
    else
      echo "valgrind: $name FAILED its tests (exit $rc, ${secs}s); log: $log"
      grep -E '^\[  FAILED  \]|Failure$' "$log" | head -n 20
    fi
  fi
done

echo "valgrind: all in $(($(date +%s) - started))s; logs in $logs"
echo "valgrind: $passed passed, $failed failed"
if [ "$failed" -eq 0 ] && [ -z "${VALGRIND_LOGS:-}" ]; then rm -rf "$logs"; fi
[ "$failed" -eq 0 ]
