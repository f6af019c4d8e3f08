# Shared by the desktop starters (tests/desktops/NAME.sh), sourced by run.sh
# inside the private session. Every process started with `spawn` is stopped
# by stop_desktop, newest first; its output goes to a log in $DESKTOP_LOGS,
# shown when the desktop or the test fails.

DESKTOP_LOGS=${XDG_RUNTIME_DIR:-/tmp}/desktop-logs
mkdir -p "$DESKTOP_LOGS"
export DESKTOP_LOGS
DESKTOP_PIDS=()

# spawn NAME COMMAND [ARGS...]: starts COMMAND in the background.
spawn() {
  local name=$1
  shift
  "$@" >"$DESKTOP_LOGS/$name.log" 2>&1 &
  DESKTOP_PIDS+=($!)
}

stop_desktop() {
  local i pid
  for ((i = ${#DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${DESKTOP_PIDS[i]}
    # The process and everything it started in its group, if it made one.
    kill -TERM "$pid" 2>/dev/null || true
    pkill -TERM -P "$pid" 2>/dev/null || true
  done
  for pid in "${DESKTOP_PIDS[@]}"; do
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  done
  DESKTOP_PIDS=()
}

show_logs() {
  local log
  for log in "$DESKTOP_LOGS"/*.log; do
    [ -s "$log" ] || continue
    echo "--- last lines of $(basename "$log")" >&2
    tail -n 25 "$log" >&2
  done
}

# wait_until SECONDS COMMAND [ARGS...]: polls COMMAND every 0.1 s.
wait_until() {
  local seconds=$1
  shift
  local i
  for ((i = 0; i < seconds * 10; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

name_owned() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# wait_for_name NAME [SECONDS]: until NAME has an owner on the session bus.
wait_for_name() {
  wait_until "${2:-30}" name_owned "$1"
}

# wait_for_window TITLE-REGEX [SECONDS]: until a viewable X window matches.
wait_for_window() {
  wait_until "${2:-30}" xdotool search --onlyvisible --name "$1"
}

# start_system_bus: a private system bus (DBUS_SYSTEM_BUS_ADDRESS) for shells
# that insist on one; nothing answers on it but the bus itself.
start_system_bus() {
  local config=$DESKTOP_LOGS/system-bus.conf address=$DESKTOP_LOGS/system-bus.address
  cat >"$config" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type><listen>unix:tmpdir=${XDG_RUNTIME_DIR:-/tmp}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
CONF
  spawn system-bus dbus-daemon --config-file="$config" --nofork --print-address=3 3>"$address"
  wait_until 10 test -s "$address" || return 1
  DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$address")
  export DBUS_SYSTEM_BUS_ADDRESS
}

# without_logind COMMAND [ARGS...]: runs COMMAND in a mount namespace of its
# own where /run/systemd is an empty tmpfs, so shells that look for logind
# there find none and run without it.
without_logind() {
  unshare -m -- sh -c 'mount -t tmpfs tmpfs /run/systemd 2>/dev/null || true; exec "$@"' without-logind "$@"
}
