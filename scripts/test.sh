#!/usr/bin/env bash
# Builds and runs the whole test suite: the normal build, then AddressSanitizer with
# UndefinedBehaviorSanitizer, then ThreadSanitizer, then a short run of each fuzz target.
# Pass preset names to run only those (for example: scripts/test.sh default).
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
((${#presets[@]})) || presets=(default asan tsan fuzz)

for preset in "${presets[@]}"; do
    echo "=== $preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [[ "$preset" == fuzz ]]; then
        scripts/fuzz.sh 5
    else
        ctest --preset "$preset"
    fi
done
