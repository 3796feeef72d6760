#!/usr/bin/env bash
# Installs what the build needs, builds from scratch and runs every test:
#   build/test   plain build: unit, window, acceptance and real-target (VM) tests
#   build/asan   address and undefined-behaviour sanitizers: unit and window tests
#   build/tsan   thread sanitizer: unit tests
# and checks the formatting of the sources.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

configure_and_build() {
  local dir=$1
  shift
  rm -rf "$dir"
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
}

echo "== formatting"
bash scripts/check-format.sh

echo "== plain build"
configure_and_build build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build/test --output-on-failure -j "$jobs"

echo "== address and undefined-behaviour sanitizers"
configure_and_build build/asan -DCMAKE_BUILD_TYPE=Debug -DQFW_SANITIZE=address,undefined \
  -DQFW_BUILD_BENCHMARKS=OFF -DQFW_BUILD_VM_TESTS=OFF
ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== thread sanitizer"
configure_and_build build/tsan -DCMAKE_BUILD_TYPE=Debug -DQFW_SANITIZE=thread \
  -DQFW_BUILD_QT=OFF -DQFW_BUILD_BENCHMARKS=OFF -DQFW_BUILD_VM_TESTS=OFF
ctest --test-dir build/tsan --output-on-failure -j "$jobs"
