#!/bin/sh
# Test code against program code, in cloc's "code" lines (no blanks, no comments), of
# source languages only: SVG, JSON and XML resources are data. Program: every folder of
# the program (the core's, the views', the tools', the map page in resources/), found as
# the folders holding program sources beside tests/, bench/ and scripts/. Tests: tests/
# (without the fuzzers' corpus and the golden files under tests/data). A measure, not a gate.
set -e
cd "$(dirname "$0")/.."
command -v cloc >/dev/null 2>&1 || { echo "cloc is missing: apt-get install cloc" >&2; exit 1; }
langs="C++,C/C++ Header,HTML,JavaScript,CSS,CMake,Bourne Shell,Python"
count() {
    # shellcheck disable=SC2086
    cloc --quiet --csv --include-lang="$langs" --exclude-dir=node_modules,corpus,data,build "$@" |
        awk -F, '$2 == "SUM" { print $5 }'
}
program_dirs=""
for d in */; do
    d=${d%/}
    case "$d" in tests | bench | scripts | docs | samples | build* | node_modules) continue ;; esac
    program_dirs="$program_dirs $d"
done
tests=$(count tests)
# shellcheck disable=SC2086
program=$(count $program_dirs)
echo "program folders:   $program_dirs"
echo "test code lines:    $tests"
echo "program code lines: $program"
awk -v t="$tests" -v p="$program" 'BEGIN { printf "ratio:              %.2f\n", t / p }'
