#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang and runs each for a bounded time (default 30 s) on a
# scratch copy of its seed corpus. A finding is left in build-fuzz/findings/ and fails the run.
# KESTROVA_CMAKE_ARGS adds options to the cmake configuration, as CI does with
# -DKESTROVA_WERROR=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

scripts/install-packages.sh cmake make clang libclang-rt-14-dev qt6-base-dev qt6-serialport-dev \
    libieee1284-3-dev libexiv2-dev

read -ra extra_cmake_args <<<"${KESTROVA_CMAKE_ARGS:-}"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTROVA_FUZZ=ON "${extra_cmake_args[@]}"
# The targets as tests/fuzz/CMakeLists.txt names them.
targets=$(cat build-fuzz/tests/fuzz/fuzz-targets.txt)
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$(nproc)" --target $targets
ctest --test-dir build-fuzz --output-on-failure

rm -rf build-fuzz/findings
mkdir -p build-fuzz/findings
for target in $targets; do
    scratch=$(mktemp -d)
    cp tests/fuzz/corpus/"$target"/* "$scratch"/
    echo "== $target: ${seconds} s"
    (cd build-fuzz/findings &&
        ../tests/fuzz/"$target" -max_total_time="$seconds" -print_final_stats=1 "$scratch" 2>&1 |
        grep -E '^(stat::number_of_executed_units|stat::new_units_added|==|SUMMARY|Done)' || true)
    rm -rf "$scratch"
done
if compgen -G "build-fuzz/findings/crash-*" >/dev/null || compgen -G "build-fuzz/findings/leak-*" >/dev/null ||
    compgen -G "build-fuzz/findings/timeout-*" >/dev/null; then
    echo "The fuzzers found inputs that fail: build-fuzz/findings/" >&2
    ls build-fuzz/findings >&2
    exit 1
fi
echo "Fuzzers: no findings"
