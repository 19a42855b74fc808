#!/bin/sh
# Runs a command in a private D-Bus session with a GNOME keyring of its own, unlocked, in a
# temporary home, and tells it so with VL_KEYRING_TEST=1. Exits 77 (skipped) when the machine has
# no way to start one.
set -eu
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
dbus-run-session -- sh -c '
    printf "vl-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 77
    VL_KEYRING_TEST=1 "$@"' sh "$@"
