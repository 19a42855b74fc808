#!/usr/bin/env bash
# Installs what is missing, builds the programs in release mode into build-package/ and makes the
# Debian package there; install it with: sudo apt install ./build-package/vlcallbench_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
cmake --preset package >/dev/null
cmake --build --preset package
(cd build-package && cpack -G DEB)
ls -1 "$PWD"/build-package/*.deb
