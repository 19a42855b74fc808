#!/usr/bin/env bash
# Installs what is missing, builds the program into build/ and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake --preset run >/dev/null
cmake --build --preset run --target vlcallbench vlcallbench-catalogue vlcallbench-post \
    vlcallbench-call

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] &&
    [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
    cat <<'TXT'
Built build/bin/vlcallbench, but this machine has no display to show its window on.
Run it on a virtual display:        xvfb-run -a build/bin/vlcallbench
or without any window system:       QT_QPA_PLATFORM=offscreen build/bin/vlcallbench
(xvfb-run comes with the Debian package xvfb.)
TXT
    exit 0
fi
exec build/bin/vlcallbench
