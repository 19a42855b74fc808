#!/usr/bin/env bash
# Installs what is missing, builds the programs in release mode into build-package/ and makes the
# Debian package there; install it with: sudo apt install ./build-package/vlcallbench_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DVL_BUILD_TESTS=OFF \
    -DVL_BUILD_BENCH=OFF >/dev/null
cmake --build build-package
(cd build-package && cpack -G DEB)
ls -1 "$PWD"/build-package/*.deb
