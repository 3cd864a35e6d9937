#!/usr/bin/env bash
# Runs a test program in a D-Bus session of its own and a throwaway home, so
# that it never sees (or writes to) the user's keyring:
#   with_secret_service.sh keyring PROGRAM [ARGS...]  gnome-keyring, unlocked with a known password
#   with_secret_service.sh none PROGRAM [ARGS...]     a session bus address where nothing listens
#   with_secret_service.sh silent PROGRAM [ARGS...]   a private bus that starts no services
set -euo pipefail
mode=${1:?mode: keyring, none or silent}
shift
home=$(mktemp -d "${TMPDIR:-/tmp}/vanta-secrets.XXXXXX")
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# The caller's desktop hints would steer QtKeychain to KWallet, and its
# keyring variables to the caller's keyring.
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION KDE_SESSION_VERSION GNOME_DESKTOP_SESSION_ID \
      GNOME_KEYRING_CONTROL SSH_AUTH_SOCK DBUS_SESSION_BUS_ADDRESS

need() {
  command -v "$1" >/dev/null || { echo "with_secret_service.sh: $1 is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
}

# Tests that need one of these sessions check for it.
export VANTA_TEST_SECRET_SERVICE=$mode
rc=0
case $mode in
  keyring)
    need dbus-run-session
    need gnome-keyring-daemon
    # --unlock reads the login keyring's password from stdin and creates the
    # keyring with it when there is none: no prompt, no desktop needed.
    dbus-run-session -- bash -c 'echo -n testpw | gnome-keyring-daemon --unlock --components=secrets >/dev/null && "$@"' \
      keyring "$@" || rc=$?
    ;;
  none)
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-bus-here"
    "$@" || rc=$?
    ;;
  silent)
    need dbus-run-session
    dbus-run-session --config-file="$(dirname "$0")/session-bus-no-services.conf" -- "$@" || rc=$?
    ;;
  *)
    echo "with_secret_service.sh: unknown mode $mode (keyring, none, silent)" >&2
    exit 2
    ;;
esac
# gnome-keyring leaves with its bus; give it a moment before the home goes.
sleep 0.2
exit $rc
