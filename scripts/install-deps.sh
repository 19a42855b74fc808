#!/usr/bin/env bash
# Installs the Debian packages that building, running or testing needs, only those missing.
# Usage: scripts/install-deps.sh run|test|package|fuzz
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qt6-base-dev libqt6sql6-sqlite libicu-dev libssl3
    libzstd-dev zlib1g-dev libsqlite3-dev qtkeychain-qt6-dev librsvg2-bin libjq-dev libsimdjson-dev)
if [ "${1:-run}" = test ] || [ "${1:-run}" = package ]; then
    # Packaging: dpkg-shlibdeps works out the package's dependencies.
    packages+=(dpkg-dev file)
fi
if [ "${1:-run}" = fuzz ]; then
    # Fuzzing campaigns: libFuzzer comes with clang.
    packages+=(clang libgtest-dev)
fi
if [ "${1:-run}" = test ]; then
    packages+=(libgtest-dev libbenchmark-dev libssl-dev openssl python3 curl fonts-dejavu-core
        dbus-daemon gnome-keyring desktop-file-utils appstream jq
        clang-format clang-tidy)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
