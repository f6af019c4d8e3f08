#!/usr/bin/env bash
# Runs a command inside a private desktop session: its own D-Bus session bus,
# gnome-keyring as an unlocked Secret Service, an Xvfb display, and a fresh
# XDG tree under a temporary HOME. Nothing of the caller's desktop is touched.
#   scripts/with-session.sh COMMAND [ARGS...]
# Set QUILLMERE_KEEP_HOME=1 to keep using the caller's HOME and XDG folders.
set -euo pipefail

if [ -z "${QUILLMERE_IN_SESSION:-}" ]; then
  export QUILLMERE_IN_SESSION=1
  exec dbus-run-session -- "$0" "$@"
fi

tmp=$(mktemp -d /tmp/quillmere-session.XXXXXX)
cleanup() {
  [ -n "${keyring_pid:-}" ] && kill "$keyring_pid" 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

if [ -z "${QUILLMERE_KEEP_HOME:-}" ]; then
  export HOME="$tmp/home"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
fi
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Secret Service: gnome-keyring with a login keyring unlocked by an empty password.
if command -v gnome-keyring-daemon >/dev/null; then
  eval "$(printf 'quillmere' | gnome-keyring-daemon --unlock --components=secrets 2>/dev/null)" || true
  keyring_pid=${GNOME_KEYRING_PID:-}
  export GNOME_KEYRING_CONTROL SSH_AUTH_SOCK 2>/dev/null || true
  # Wait until the daemon owns its name on the bus.
  for _ in $(seq 50); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true' && break
    sleep 0.1
  done
fi

# A display for anything that needs one. Xvfb picks a free display number
# itself and writes it once it accepts connections, so sessions started side
# by side never share (or lose) a display.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(tr -d '[:space:]' <"$displayfile")"
  rm -f "$displayfile"
fi

"$@"
