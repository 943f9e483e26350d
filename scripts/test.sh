#!/usr/bin/env bash
# Builds Glimmerpost and runs every test: the fuzz targets (bounded runs, clang),
# the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# whole suite in the normal build. Installs the Debian packages it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="abort_on_error=0:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"

configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== fuzz targets (libFuzzer, bounded runs)"
if command -v clang++-14 >/dev/null 2>&1; then
  configure_and_build build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGLP_FUZZ=ON -DGLP_WITH_QT=OFF -DGLP_TESTS=OFF -DGLP_BENCH=OFF
  ctest --test-dir build-fuzz --output-on-failure -j "$jobs" --timeout 600
else
  echo "clang++-14 is missing: fuzz targets not built"
  [ "${CI:-}" = "true" ] && exit 1
fi

echo "== sanitizer build (ASan + UBSan)"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DGLP_SANITIZE=ON -DGLP_TESTS=ON -DGLP_BENCH=OFF
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600

echo "== normal build"
# GLP_TESTS and GLP_BENCH are given: scripts/run.sh turns them off in the same folder.
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLP_TESTS=ON -DGLP_BENCH=ON
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600
