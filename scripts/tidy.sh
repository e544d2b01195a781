#!/bin/sh
# clang-tidy with the project's .clang-tidy over the program folders (cognitive complexity
# at most 25, and a few bug and performance checks); any finding fails. Needs a configured
# build folder with compile_commands.json (default build/).
set -e
cd "$(dirname "$0")/.."
build=${1:-build}
# GCC's compile commands lack the warning flag CMake gives clang for Qt's logging macros.
run-clang-tidy -p "$build" -j2 -quiet -extra-arg=-Wno-gnu-zero-variadic-macro-arguments \
    "$(pwd)/(model|device|formats|analysis|geotag|edit|library|view|app|tools)/" > "$build/tidy.log" 2>&1 || {
    grep -E "warning:|error:" "$build/tidy.log" | sort -u
    echo "clang-tidy found the above"
    exit 1
}
echo "clang-tidy: no findings"
