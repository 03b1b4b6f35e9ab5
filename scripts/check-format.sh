#!/usr/bin/env bash
# Fails when a tracked C or C++ source differs from what clang-format makes of
# it with the committed .clang-format. The gSOAP interface header is input to
# soapcpp2, whose directives live in comments, so it keeps its own layout.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is missing" >&2; exit 2; }
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c' | grep -v '\.gsoap\.h$')
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -ne 0 ]; then
    echo "check-format: ${#bad[@]} of ${#files[@]} sources are not formatted (run clang-format -i on them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "check-format: ${#files[@]} sources formatted"
