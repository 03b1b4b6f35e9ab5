#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Idempotent.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
    libpng-dev zlib1g-dev libssl-dev
    gsoap libgsoap-dev
    duktape-dev
    curl
    imagemagick
    clang-14 libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
