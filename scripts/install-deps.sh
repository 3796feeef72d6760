#!/usr/bin/env bash
# Installs everything the build, the tests, the demo and the VM proof need on
# Debian 12. Idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libsgutils2-dev libtomlplusplus-dev
  fonts-liberation
  qemu-system-x86 linux-image-amd64 busybox-static sg3-utils cpio kmod xz-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
