# KWin on Wayland with its virtual (headless) back end. The installed
# kwin_wayland carries file capabilities that a container without those
# privileges refuses to execute ("Operation not permitted"); a copy of the
# binary has none and runs. The instance and the tests reach KWin through
# WAYLAND_DISPLAY and its D-Bus name org.kde.KWin (scripting).
# QUILLMERE_KWIN_TYPE names the key-typing helper (tests/desktops/kwin-type.c):
# KWin gives its fake-input interface only to a program a .desktop file in its
# XDG data folders names with X-KDE-Wayland-Interfaces; the file is written
# into the session's XDG_DATA_HOME before KWin starts. Screenshots come from
# KWin's ScreenShot2 interface, which this private compositor gives any caller
# (KWIN_SCREENSHOT_NO_PERMISSION_CHECKS).

desktop_requires() { echo /usr/bin/kwin_wayland; }

start_desktop() {
  if [ -n "${QUILLMERE_KWIN_TYPE:-}" ]; then
    mkdir -p "$XDG_DATA_HOME/applications"
    cat >"$XDG_DATA_HOME/applications/quillmere-kwin-type.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Quillmere test keys
Exec=$(readlink -f "$QUILLMERE_KWIN_TYPE")
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input
DESKTOP
  fi
  cp /usr/bin/kwin_wayland "$DESKTOP_LOGS/kwin_wayland"
  spawn kwin env KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 "$DESKTOP_LOGS/kwin_wayland" --virtual \
    --width "${KWIN_WIDTH:-1280}" --height "${KWIN_HEIGHT:-800}" --socket quillmere-kwin
  wait_until 30 test -S "$XDG_RUNTIME_DIR/quillmere-kwin" || return 1
  wait_for_name org.kde.KWin || return 1
  export WAYLAND_DISPLAY=quillmere-kwin QT_QPA_PLATFORM=wayland XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE
}
