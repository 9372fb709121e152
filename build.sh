#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a Debian 12 machine for Kestrova, builds it, then starts the program (./build.sh run)
# or runs the whole test suite (./build.sh test). KESTROVA_CMAKE_ARGS adds options to each
# cmake configuration, as CI does with -DKESTROVA_WERROR=ON.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-run}
case "$mode" in
run | test) ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac

scripts/install-packages.sh cmake make g++ pkg-config qt6-base-dev qt6-serialport-dev \
    libieee1284-3-dev fonts-liberation2 libexiv2-dev
if [ "$mode" = test ]; then
    scripts/install-packages.sh valgrind dbus strace
fi

read -ra extra_cmake_args <<<"${KESTROVA_CMAKE_ARGS:-}"
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra_cmake_args[@]}"
cmake --build build -j "$jobs"

if [ "$mode" = run ]; then
    exec build/src/kestrova
fi
ctest --test-dir build --output-on-failure -j "$jobs"

# The same suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_SANITIZE=ON "${extra_cmake_args[@]}"
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
