#!/usr/bin/env bash
# Runs COMMAND with a real desktop running, inside a fresh private session of
# its own (session bus, Xvfb, gnome-keyring, temporary HOME and XDG tree: see
# scripts/with-session.sh), then stops everything it started.
#   tests/desktops/run.sh DESKTOP COMMAND [ARGS...]
# DESKTOP names tests/desktops/DESKTOP.sh, which defines start_desktop (and
# may define desktop_requires, the programs it needs). Exit status 77: the
# desktop is not installed here (CTest reports the test as skipped).
# QUILLMERE_DESKTOP_SHOTS=FOLDER keeps the tests' screenshots there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
desktop=$1
shift

if [ -z "${QUILLMERE_DESKTOP_SESSION:-}" ]; then
  export QUILLMERE_DESKTOP_SESSION=1
  # Never the caller's display, bus or folders: a session of its own.
  unset DISPLAY WAYLAND_DISPLAY QUILLMERE_IN_SESSION DBUS_SESSION_BUS_ADDRESS QUILLMERE_KEEP_HOME
  exec "$here/../../scripts/with-session.sh" "$0" "$desktop" "$@"
fi

# shellcheck source=common.sh
source "$here/common.sh"
# shellcheck disable=SC1090
source "$here/$desktop.sh"

if declare -F desktop_requires >/dev/null; then
  for program in $(desktop_requires); do
    if ! command -v "$program" >/dev/null && [ ! -x "$program" ]; then
      echo "desktop $desktop: $program is not installed (scripts/deps.sh installs it); skipped" >&2
      exit 77
    fi
  done
fi

trap stop_desktop EXIT
if ! start_desktop; then
  echo "desktop $desktop did not come up" >&2
  show_logs
  exit 1
fi
status=0
"$@" || status=$?
[ "$status" -eq 0 ] || show_logs
exit "$status"
