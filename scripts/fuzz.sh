#!/usr/bin/env bash
# Builds every libFuzzer target (clang 14, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for a bounded time
# from a copy of its committed seed corpus (tests/fuzz/corpus/<target>).
# Fails on any crash, sanitizer report, leak, time-out or memory blow-up; the
# input that did it is kept in build-fuzz/fuzz-artifacts/<target>/.
#   scripts/fuzz.sh                    every target, FUZZ_SECONDS (12) each
#   scripts/fuzz.sh bmp_page_fuzz ...  only these
#   FUZZ_SECONDS=3600 scripts/fuzz.sh soap_response_fuzz     a longer run
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=build-fuzz
seconds="${FUZZ_SECONDS:-12}"
jobs="${JOBS:-$(nproc)}"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DVEXLO_SANITIZE=address;undefined" -DVEXLO_FUZZ=ON >/dev/null
cmake --build "$dir" --target fuzzers -j "$jobs"

targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < "$dir/fuzzers.txt"

# Temporary folders (the private desktop sessions) in memory when possible:
# the profile and page targets write and sync files for every input.
[ -w /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export OPENCV_LOG_LEVEL=SILENT
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failed=()
for target in "${targets[@]}"; do
    corpus="$work/$target"
    artifacts="$PWD/$dir/fuzz-artifacts/$target/"
    mkdir -p "$corpus" "$artifacts"
    cp -r "tests/fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
    log="$work/$target.log"
    if "$dir/bin/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 \
        -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
        runs="$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')"
        echo "fuzz: $target: ${runs:-?} inputs, no crash"
    else
        echo "fuzz: $target FAILED; its input is in $artifacts:" >&2
        grep -E 'ERROR|SUMMARY|^ *#[0-9]+ .* in |Test unit written' "$log" | head -40 >&2
        failed+=("$target")
    fi
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: ${#failed[@]} target(s) failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets, ${seconds} s each, no crash"
