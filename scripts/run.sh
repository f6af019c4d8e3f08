#!/usr/bin/env bash
# Installs what is needed, builds, and runs the demo: the development server
# with demo data, and Quillmere Menu Bar against it, connected to a demo embed
# link so live figures show at once. Sign in with a demo account through the
# browser with `build/src/app/quillmere-menubar --sign-in`. Ctrl-C ends the demo.
# The demo's settings, cookies and cache live in build/demo-profile, and its
# embed password in memory only.
#   sudo bash scripts/run.sh     (or as root; the build and the demo then run as
#                                 the user who called sudo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ -z "${QUILLMERE_DEMO_STAGE:-}" ]; then
  bash scripts/deps.sh
  export QUILLMERE_DEMO_STAGE=1
  # Packages needed root; the program belongs to the desktop user.
  if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    uid=$(id -u "$SUDO_USER")
    bus=""
    [ -S "/run/user/$uid/bus" ] && bus="unix:path=/run/user/$uid/bus"
    exec sudo -u "$SUDO_USER" -H env QUILLMERE_DEMO_STAGE=1 PATH="$PATH" \
      DISPLAY="${DISPLAY:-}" WAYLAND_DISPLAY="${WAYLAND_DISPLAY:-}" XDG_RUNTIME_DIR="/run/user/$uid" \
      DBUS_SESSION_BUS_ADDRESS="${bus}" bash "$0" "$@"
  fi
fi

# The program lives on the session bus; without one (a bare console), make one.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -z "${QUILLMERE_DEMO_BUS:-}" ]; then
  if [ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/bus" ]; then
    export DBUS_SESSION_BUS_ADDRESS="unix:path=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/bus"
  else
    export QUILLMERE_DEMO_BUS=1
    exec dbus-run-session -- bash "$0" "$@"
  fi
fi

build="$root/build"
echo "== building into $build"
bash scripts/build.sh "$build" -DBUILD_TESTING=OFF -DQUILLMERE_BENCHMARKS=OFF
app="$build/src/app/quillmere-menubar"
server="$build/devserver/quillmere-devserver"

echo "== registering the quillmere-menubar:// handler"
bash scripts/register-scheme.sh "$app" || echo "(could not register the URL scheme; browser sign-in will not return)"

# The demo keeps its own settings, cookies, cache and password, so it never
# changes the connection of a Quillmere Menu Bar the user already has. (After
# the scheme registration above, which belongs in the user's own data folder.)
profile="$build/demo-profile"
mkdir -p "$profile/config/quillmere-menubar" "$profile/data" "$profile/cache"
# Each run starts from fresh settings that refresh every minute (the shortest
# interval), so the moving demo figures show without waiting.
printf '[General]\nrefreshMinutes=1\n' >"$profile/config/quillmere-menubar/settings.ini"
export XDG_CONFIG_HOME="$profile/config" XDG_DATA_HOME="$profile/data" XDG_CACHE_HOME="$profile/cache"
export QUILLMERE_KEYCHAIN=memory

port=${QUILLMERE_DEMO_PORT:-8787}
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "port $port is taken; set QUILLMERE_DEMO_PORT to another one" >&2
  exit 1
fi
log=$(mktemp /tmp/quillmere-devserver.XXXXXX.log)
"$server" --port "$port" >"$log" 2>&1 &
server_pid=$!
cleanup() {
  "$app" --quit >/dev/null 2>&1 || true
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
for _ in $(seq 100); do grep -q 'listening on' "$log" && break; sleep 0.1; done
base=$(sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' "$log" | head -n1)
[ -n "$base" ] || { cat "$log"; echo "the development server did not start" >&2; exit 1; }
cat "$log"

# A fresh instance that talks to the development server for this run only.
"$app" --quit >/dev/null 2>&1 || true
"$app" --server "$base" &
instance_pid=$!
for _ in $(seq 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:com.velmorcraft.quillmere.menubar 2>/dev/null | grep -q 'boolean true' && break
  kill -0 "$instance_pid" 2>/dev/null || { echo "quillmere-menubar did not start" >&2; exit 1; }
  sleep 0.1
done

link="$base/embed/nw-7Hq2XbLk"
echo "== connecting the demo embed link $link"
"$app" --server "$base" --connect "$link" </dev/null

cat <<MSG

Quillmere Menu Bar is running against $base.
  In the panel:            the line next to a chart icon; a click opens the popover
  Popover without a panel: $app
  Settings window:         $app --settings
  Line for scripts:        $app --line
  Sign in with a demo user: $app --sign-in     (pick an account on the page)
  Web dashboard:           $base/dashboard
The server's figures move every 20 seconds and the demo refreshes every minute; each new
line prints below. Ctrl-C ends the demo.

MSG
"$app" --line --json --follow
