#!/usr/bin/env bash
# Installs what the tests need, builds Corvane twice (warnings as errors; then with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

jobs=$(nproc)
run_build() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCORVANE_WERROR=ON -DCORVANE_DESKTOP=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

echo "== Build with warnings as errors, and test"
run_build build/ci -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Build with AddressSanitizer and UndefinedBehaviorSanitizer, and test"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_build build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=address,undefined -DCORVANE_BUILD_BENCHMARKS=OFF
