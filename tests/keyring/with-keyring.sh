#!/bin/sh
# Runs a command in a private D-Bus session with a GNOME keyring of its own, in a temporary home,
# and tells it so with VL_KEYRING_TEST: "unlocked", or with --locked "locked" (no keyring is
# unlocked and none can be, as nobody can answer the unlock prompt). Exits 77 (skipped) when the
# machine has no way to start one.
set -eu
mode=unlocked
if [ "${1:-}" = --locked ]; then
    mode=locked
    shift
fi
if ! command -v dbus-run-session >/dev/null || ! command -v gnome-keyring-daemon >/dev/null; then
    echo "dbus-run-session or gnome-keyring-daemon missing: skipped" >&2
    exit 77
fi
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
export XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY
export VL_KEYRING_TEST="$mode"
dbus-run-session -- sh -c '
    if [ "$VL_KEYRING_TEST" = locked ]; then
        gnome-keyring-daemon --start --components=secrets >/dev/null || exit 77
    else
        printf "vl-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 77
    fi
    "$@"' sh "$@"
