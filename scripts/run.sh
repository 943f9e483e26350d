#!/usr/bin/env bash
# Installs what Glimmerpost needs to build and run (not the test tools), builds it
# and starts it. Arguments go to the
# program (for example: --home DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh run
# Without the test tools installed, the tests and benchmarks are left out of the build.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLP_TESTS=OFF -DGLP_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target glimmerpost clearglp
exec ./build/app/glimmerpost "$@"
