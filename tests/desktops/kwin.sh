# KWin on Wayland with its virtual (headless) back end. The installed
# kwin_wayland carries file capabilities that a container without those
# privileges refuses to execute ("Operation not permitted"); a copy of the
# binary has none and runs. The instance and the tests reach KWin through
# WAYLAND_DISPLAY and its D-Bus name org.kde.KWin (scripting).

desktop_requires() { echo /usr/bin/kwin_wayland; }

start_desktop() {
  cp /usr/bin/kwin_wayland "$DESKTOP_LOGS/kwin_wayland"
  spawn kwin "$DESKTOP_LOGS/kwin_wayland" --virtual --width "${KWIN_WIDTH:-1280}" --height "${KWIN_HEIGHT:-800}" \
    --socket quillmere-kwin
  wait_until 30 test -S "$XDG_RUNTIME_DIR/quillmere-kwin" || return 1
  wait_for_name org.kde.KWin || return 1
  export WAYLAND_DISPLAY=quillmere-kwin QT_QPA_PLATFORM=wayland XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE
}
