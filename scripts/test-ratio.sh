#!/bin/sh
# Test code against program code, in cloc's "code" lines (no blanks, no comments).
# Program: app/ device/ formats/ model/ view/ analysis/ tools/ resources/ (without
# node_modules). Tests: tests/ (without the fuzzers' corpus and the golden files under
# tests/data, which are data). A measure, not a gate.
set -e
cd "$(dirname "$0")/.."
command -v cloc >/dev/null 2>&1 || { echo "cloc is missing: apt-get install cloc" >&2; exit 1; }
count() {
    dirs=""
    for d in "$@"; do [ -d "$d" ] && dirs="$dirs $d"; done
    # shellcheck disable=SC2086
    cloc --quiet --csv --exclude-dir=node_modules,corpus,data $dirs | awk -F, '$2 == "SUM" { print $5 }'
}
tests=$(count tests)
program=$(count app device formats model view analysis tools resources)
echo "test code lines:    $tests"
echo "program code lines: $program"
awk -v t="$tests" -v p="$program" 'BEGIN { printf "ratio:              %.2f\n", t / p }'
