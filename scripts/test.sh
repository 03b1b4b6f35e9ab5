#!/usr/bin/env bash
# Installs dependencies, configures, builds and runs every test.
#   scripts/test.sh            normal build in build/
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer in build-asan/
#   scripts/test.sh tsan       ThreadSanitizer in build-tsan/ (threaded tests only)
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-normal}"
scripts/install-deps.sh
jobs="$(nproc)"
case "$flavour" in
    normal) dir=build; san="" ;;
    asan) dir=build-asan; san="address;undefined" ;;
    tsan) dir=build-tsan; san="thread" ;;
    *) echo "usage: $0 [normal|asan|tsan]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DVEXLO_SANITIZE=$san"
cmake --build "$dir" -j "$jobs"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
label=()
[ "$flavour" = tsan ] && label=(-L threaded)
ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "${label[@]}"
