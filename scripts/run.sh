#!/usr/bin/env bash
# Installs what Glimmerpost needs, builds it and starts it. Arguments go to the
# program (for example: --home DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target glimmerpost clearglp
exec ./build/app/glimmerpost "$@"
