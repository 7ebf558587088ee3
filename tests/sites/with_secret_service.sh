#!/bin/sh
# Runs the command given inside a private D-Bus session with a GNOME keyring of its own, unlocked,
# in the test's XDG folders. The keyring starts empty; it ends with the bus, when the command ends.
set -e
: "${XDG_DATA_HOME:?}" "${XDG_RUNTIME_DIR:?}"
export HOME="$XDG_DATA_HOME"
rm -rf "$XDG_DATA_HOME/keyrings"
exec dbus-run-session -- sh -c '
    # --login unlocks the login collection with this password; without it every store fails.
    printf test-keyring | gnome-keyring-daemon --login >/dev/null
    gnome-keyring-daemon --start --components=secrets >/dev/null
    exec "$@"' sh "$@"
