#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build clang libclang-rt-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libfuse3-dev fuse3 libsqlite3-dev libpugixml-dev libcurl4-openssl-dev zlib1g-dev libcap-dev
    libcpp-httplib-dev
    libicu-dev
    pkg-config
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "deps: installing ${missing[*]}"
    sudo_cmd=()
    if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
