#!/bin/sh
# The test suite under AddressSanitizer with UndefinedBehaviorSanitizer (and
# LeakSanitizer), and the threaded tests under ThreadSanitizer.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh --test
# -O1 with line tables only, and no benchmarks: the reports keep their lines, and the builds
# take much less of CI's time than the release flags would.
release="-O1 -g1 -DNDEBUG"
cmake -S . -B build-asan -G Ninja -DLX300_SANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$release" -DLX300_BENCH=OFF \
    -DLX300_WERROR=ON
cmake --build build-asan
(cd build-asan && QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure)
cmake -S . -B build-tsan -G Ninja -DLX300_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$release" -DLX300_BENCH=OFF \
    -DLX300_WERROR=ON
cmake --build build-tsan --target tst_protocol tst_device tst_session
(cd build-tsan && QT_QPA_PLATFORM=offscreen ctest -L threads --output-on-failure)
