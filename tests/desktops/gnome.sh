# GNOME Shell 43 on the session's Xvfb display, with our extension (the
# folder QUILLMERE_GNOME_EXTENSION names, the 43-44 form the build makes) and
# the AppIndicator extension installed, and ours enabled. Without a login
# session: a private system bus, no logind (without_logind), settings in
# dconf; QUILLMERE_GNOME_PATH goes in front of the shell's PATH. The tests reach the shell through org.gnome.Shell.Eval, opened by a
# probe extension of the tests (tests/desktops/gnome/).
#   GNOME_EXTENSIONS   the uuids enabled at start (default: ours and the probe)
#   GNOME_WAYLAND=1    a headless Wayland compositor instead (1280x800, no X)

gnome_uuid=quillmere-menubar@velmorcraft.com
gnome_probe=quillmere-test-probe@velmorcraft.com

desktop_requires() {
  echo gnome-shell gsettings dbus-update-activation-environment
  [ -n "${GNOME_WAYLAND:-}" ] || echo xdotool
}

# gnome_eval EXPRESSION: prints the value of EXPRESSION in the shell (a string).
gnome_eval() {
  local reply
  reply=$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Eval "$1" 2>/dev/null) || return 1
  case $reply in "(true, "*) ;; *) return 1 ;; esac
  reply=${reply#"(true, '"}
  printf '%s\n' "${reply%"')"}"
}

gnome_extension_enabled() {
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Extensions.GetExtensionInfo "$1" 2>/dev/null | grep -q "'state': <1.0>"
}

start_desktop() {
  [ -d "${QUILLMERE_GNOME_EXTENSION:-}" ] || { echo "QUILLMERE_GNOME_EXTENSION names no folder" >&2; return 1; }
  local extensions=$XDG_DATA_HOME/gnome-shell/extensions
  mkdir -p "$extensions"
  cp -r "$QUILLMERE_GNOME_EXTENSION" "$extensions/$gnome_uuid"
  cp -r "$(dirname "${BASH_SOURCE[0]}")/gnome" "$extensions/$gnome_probe"
  export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome
  use_dconf
  gsettings set org.gnome.shell disable-user-extensions false
  gsettings set org.gnome.shell enabled-extensions "${GNOME_EXTENSIONS:-['$gnome_uuid', '$gnome_probe']}"
  # Nothing may cover the top bar while the tests look at it.
  gsettings set org.gnome.desktop.notifications show-banners false
  # The program a click starts when no instance runs.
  [ -z "${QUILLMERE_GNOME_PATH:-}" ] || export PATH="$QUILLMERE_GNOME_PATH:$PATH"
  start_system_bus || return 1
  if [ -n "${GNOME_WAYLAND:-}" ]; then
    export WAYLAND_DISPLAY=quillmere-gnome-$$
    unset DISPLAY
    spawn gnome-shell without_logind gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 \
      --wayland-display "$WAYLAND_DISPLAY"
  else
    spawn gnome-shell without_logind gnome-shell --x11 --replace
  fi
  wait_until 60 gnome_extension_enabled "$gnome_probe" || return 1
  # It starts in the overview.
  wait_until 30 gnome_eval 'Main.layoutManager._startingUp ? null.x : "up"' || return 1
  gnome_eval 'Main.overview.hide()' >/dev/null
  wait_until 10 gnome_eval 'Main.overview.visible ? null.x : "hidden"'
}
