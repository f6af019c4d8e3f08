# KDE Plasma 5.27 on X11, without a Plasma session: KWin (which publishes the
# work area the panel reserves), kded5 with the StatusNotifierWatcher module,
# and plasmashell with its default bottom panel (system tray and clock).
# Programs the user keeps in ~/.local/bin are on plasmashell's PATH, as in a
# login session: widgets run commands through it.

desktop_requires() {
  echo kwin_x11 kded5 plasmashell /usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd
}

start_desktop() {
  # Only Plasma's own processes are told they run in KDE: the test's instance
  # keeps the session's Secret Service instead of asking for a KDE wallet.
  local kde=(env XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5)
  export PATH=$HOME/.local/bin:$PATH
  mkdir -p "$HOME/.local/bin"
  # Services the shell starts through the bus see the session's display.
  dbus-update-activation-environment --all
  spawn kwin "${kde[@]}" kwin_x11
  wait_for_name org.kde.KWin || return 1
  spawn kded "${kde[@]}" kded5
  wait_for_name org.kde.kded5 || return 1
  dbus-send --session --print-reply --dest=org.kde.kded5 /kded org.kde.kded5.loadModule \
    string:statusnotifierwatcher >/dev/null || return 1
  wait_for_name org.kde.StatusNotifierWatcher || return 1
  spawn plasmashell "${kde[@]}" plasmashell --no-respawn
  wait_for_name org.kde.plasmashell 60 || return 1
  # The panel is up once the scripting interface lists it.
  wait_until 60 panel_listed
}

panel_listed() {
  dbus-send --session --print-reply --dest=org.kde.plasmashell /PlasmaShell org.kde.PlasmaShell.evaluateScript \
    string:'print(panels().length)' | grep -q 'string "[1-9]'
}
