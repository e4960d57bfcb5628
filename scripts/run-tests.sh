#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: first the normal build,
# then the AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
(cd build && ctest --verbose -j "$(nproc)")
bash scripts/setup.sh build-sanitize -DBEZO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd build-sanitize && ctest --verbose -j "$(nproc)")
