#!/usr/bin/env bash
# Soak run: the running instance through many refreshes against the
# development server, whose data moves on before nearly every refresh. Both
# ways of being connected take turns (browser sign-in and embed link), signed-in
# refreshes get delta, full and unchanged answers, and the popover is opened and
# closed every 100 refreshes, under Xvfb in a private session (its own D-Bus,
# gnome-keyring, temporary XDG tree) with a server on a free port. Prints the
# instance's RSS and open descriptors after the warm-up and at the end, the
# refresh time percentiles, and every line the instance wrote to stderr.
# Exits non-zero when descriptors leak, a refresh fails or the instance
# reports an error.
#   scripts/soak.sh [REFRESHES] [BUILD_DIR]
# REFRESHES defaults to 10000; BUILD_DIR to build-soak, configured as a
# RelWithDebInfo build when it does not exist yet. The needed targets are built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
refreshes=${1:-10000}
build=${2:-$root/build-soak}

if [ -z "${QUILLMERE_IN_SESSION:-}" ]; then
  if [ ! -f "$build/build.ninja" ]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
      -DQUILLMERE_BENCHMARKS=OFF >/dev/null
  fi
  ninja -C "$build" quillmere-menubar quillmere-devserver quillmere-soak-driver >/dev/null
  exec "$root/scripts/with-session.sh" "$0" "$refreshes" "$build"
fi

app="$build/src/app/quillmere-menubar"
server="$build/devserver/quillmere-devserver"
driver="$build/tests/soak/quillmere-soak-driver"
service=com.velmorcraft.quillmere.menubar

tmp=$(mktemp -d /tmp/quillmere-soak.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

# The instance's own timer stays out of the way; every refresh is the driver's.
mkdir -p "$XDG_CONFIG_HOME/quillmere-menubar"
printf '[General]\nrefreshMinutes=60\n' >"$XDG_CONFIG_HOME/quillmere-menubar/settings.ini"
# The browser the instance opens the sign-in page in: the driver plays it.
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' "$tmp/opened.txt" >"$tmp/browser.sh"
chmod +x "$tmp/browser.sh"
export QUILLMERE_BROWSER="$tmp/browser.sh"

# The data moves only when the driver says so; embed links are not rate limited.
"$server" --port 0 --tick 0 --faults --embed-rate 1000000 >"$tmp/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'listening on' "$tmp/server.log" && break; sleep 0.1; done
base=$(sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' "$tmp/server.log" | head -n1)
[ -n "$base" ] || { echo "the development server did not start:" >&2; cat "$tmp/server.log" >&2; exit 1; }

"$app" --server "$base" 2>"$tmp/instance.err" &
instance=$!
pids+=("$instance")
property() {
  dbus-send --session --print-reply --dest=$service /com/velmorcraft/quillmere/menubar \
    org.freedesktop.DBus.Properties.Get string:com.velmorcraft.quillmere.MenuBar "string:$1" 2>/dev/null
}
for _ in $(seq 150); do property Restoring | grep -q 'boolean false' && break; sleep 0.1; done
property Restoring | grep -q 'boolean false' || { echo "the instance did not start:" >&2; cat "$tmp/instance.err" >&2; exit 1; }

check=()
command -v xwininfo >/dev/null || check=(--no-window-check)
echo "== soak: $refreshes refreshes against $base (instance $instance, $(basename "$build"))"
status=0
"$driver" --server "$base" --pid "$instance" --refreshes "$refreshes" --opened "$tmp/opened.txt" "${check[@]}" ||
  status=$?

"$app" --quit >/dev/null 2>&1 || true
for _ in $(seq 100); do kill -0 "$instance" 2>/dev/null || break; sleep 0.1; done
# Without a panel the instance says once how to reach its window; anything
# else it writes is an error.
notice='no status-item host found in the panel'
errors=$(grep -cv "$notice" "$tmp/instance.err" || true)
echo "instance error lines: $errors"
if [ "$errors" -gt 0 ]; then
  grep -v "$notice" "$tmp/instance.err" | head -n 40 | sed 's/^/  /'
  status=1
fi
exit $status
