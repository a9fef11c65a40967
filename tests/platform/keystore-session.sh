#!/bin/sh
# Runs tst_keystore_real against real key stores: first with no D-Bus
# session at all, as on GNOME and on KDE (every operation must fail cleanly),
# then against gnome-keyring in a private D-Bus session, its keyring in a
# throwaway folder unlocked with a test password. The user's own session and keyrings are never touched.
# The test skips (saying why) only when that daemon cannot be started.
set -u
binary=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/run"
export HOME="$tmp" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" \
       XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/run"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP \
      KDE_FULL_SESSION KDE_SESSION_VERSION DESKTOP_SESSION GNOME_KEYRING_CONTROL

"$binary" withoutKeyStore || exit 1
# The same on a KDE desktop, where qtkeychain asks KWallet.
XDG_CURRENT_DESKTOP=KDE "$binary" withoutKeyStore || exit 1

if ! command -v dbus-run-session >/dev/null || ! command -v gnome-keyring-daemon >/dev/null; then
    CORVANE_NO_KEYRING="dbus-run-session or gnome-keyring-daemon is not installed (scripts/install-deps)" \
        "$binary" withKeyStore
    exit $?
fi

dbus-run-session -- sh -c '
    if ! printf test | gnome-keyring-daemon --unlock --components=secrets >"$HOME/keyring.log" 2>&1; then
        CORVANE_NO_KEYRING="gnome-keyring-daemon did not start: $(tr "\n" " " <"$HOME/keyring.log")" \
            exec "$0" withKeyStore
    fi
    CORVANE_PRIVATE_KEYRING=1 exec "$0" withKeyStore' "$binary"
