#!/usr/bin/env bash
# Sets up, builds and runs every test of velk. Usage: scripts/test.sh [preset]
# preset: default (the default), asan (AddressSanitizer + UBSan) or tsan (ThreadSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
./scripts/install-deps.sh
cmake --preset "$preset" -DVELK_WERROR=ON >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
