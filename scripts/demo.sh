#!/usr/bin/env bash
# The main job: installs dependencies, builds, installs into a local prefix and
# runs the end-to-end demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$PWD/out"
cmake --build build -j "$(nproc)"
cmake --install build >/dev/null
echo
echo "Installed into $PWD/out:"
find out -type f | sort | sed 's/^/  /'
