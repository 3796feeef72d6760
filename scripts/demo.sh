#!/usr/bin/env bash
# Builds the tool and runs its demo on a simulated bus (demo/demo.toml): two
# drives, one that takes the new firmware and one that fails with a flash write
# error during the transfer. With a display it opens the real window, where you
# pick a drive and press UPDATE; without one it runs the same session through
# the headless runner and prints what happened, one event a line.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQFW_BUILD_TESTS=OFF -DQFW_BUILD_BENCHMARKS=OFF
cmake --build build/demo -j "$(nproc)" --target quorvel-fwupdate-demo quorvel-fwupdate-session

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/demo/app/demo/quorvel-fwupdate-demo demo/demo.toml
fi
echo "No display: running the demo session headless." >&2
exec build/demo/app/session/quorvel-fwupdate-session demo/demo.toml
