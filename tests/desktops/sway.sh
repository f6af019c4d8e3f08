# sway on its headless back end, run as an unprivileged user (nobody) the way
# a person runs it, with a bar along the top whose tray (swaybar's) is the
# status-item host. swaybar runs as the session's own user so that it reaches
# the session bus; it draws the bar sway's configuration describes.
# The instance and the tests reach sway through WAYLAND_DISPLAY and SWAYSOCK.

desktop_requires() { echo sway swaybar swaymsg grim wtype setpriv; }

start_desktop() {
  local session user=nobody group
  session=$(dirname "$XDG_RUNTIME_DIR")
  group=$(id -gn "$user")
  # sway's own folders: reachable, not readable, through the session's.
  chmod o+x "$session"
  SWAY_DIR=$session/sway
  mkdir -p "$SWAY_DIR/run" "$SWAY_DIR/home"
  chmod 755 "$SWAY_DIR"
  chown "$user:$group" "$SWAY_DIR/run" "$SWAY_DIR/home"
  chmod 700 "$SWAY_DIR/run"
  cat >"$SWAY_DIR/config" <<CONF
output HEADLESS-1 resolution ${SWAY_WIDTH:-1280}x${SWAY_HEIGHT:-800} position 0 0
bar {
  id top
  position top
  swaybar_command true
  tray_output *
}
CONF
  chmod 644 "$SWAY_DIR/config"
  spawn sway setpriv --reuid="$user" --regid="$group" --clear-groups env -i HOME="$SWAY_DIR/home" \
    XDG_RUNTIME_DIR="$SWAY_DIR/run" PATH=/usr/bin:/bin WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
    WLR_RENDERER=pixman sway -c "$SWAY_DIR/config"
  wait_until 30 sh -c 'ls "$0"/run/sway-ipc.* && ls "$0"/run/wayland-?' "$SWAY_DIR" || return 1
  SWAYSOCK=$(ls "$SWAY_DIR"/run/sway-ipc.*)
  WAYLAND_DISPLAY=$(ls "$SWAY_DIR"/run/wayland-? | head -n1)
  export SWAYSOCK WAYLAND_DISPLAY SWAY_DIR
  # The session the instance and the tests see: Qt on Wayland.
  export QT_QPA_PLATFORM=wayland XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway
  # A keyboard for the seat as a person's session has one (the headless
  # back end has none): a virtual one that stays for the whole session.
  spawn keyboard wtype -s 86400000
  wait_until 10 sh -c 'swaymsg -t get_seats | grep -q "\"keyboard\""'
  spawn swaybar swaybar -b top -s "$SWAYSOCK"
  wait_for_name org.kde.StatusNotifierWatcher
}
