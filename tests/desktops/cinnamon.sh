# Cinnamon 5.6 as Linux Mint runs it, without Mint's session manager:
# cinnamon replaces the window manager on the Xvfb display, without logind
# and with a private system bus, its settings in dconf; xapp-sn-watcher runs
# beside it as Mint's session autostarts it. Its default panel is at the
# bottom, with the xapp-status applet that shows XApp status icons.

desktop_requires() {
  echo cinnamon /usr/libexec/xapps/sn-watcher/xapp-sn-watcher /usr/libexec/dconf-service
}

start_desktop() {
  export GSETTINGS_BACKEND=dconf XDG_CURRENT_DESKTOP=X-Cinnamon XDG_SESSION_DESKTOP=cinnamon
  export XDG_SESSION_TYPE=x11 XDG_MENU_PREFIX=cinnamon-
  start_system_bus || return 1
  spawn cinnamon without_logind cinnamon --replace
  # Running (not starting up any more: the panels are in place), with the
  # xapp-status applet's monitor on the bus.
  wait_until 60 cinnamon_running || return 1
  wait_until 30 cinnamon_monitor || return 1
  spawn xapp-sn-watcher /usr/libexec/xapps/sn-watcher/xapp-sn-watcher
  wait_for_name org.kde.StatusNotifierWatcher 30
}

cinnamon_running() {
  gdbus call --session -d org.Cinnamon -o /org/Cinnamon -m org.Cinnamon.GetRunState 2>/dev/null | grep -q '(2,)'
}

cinnamon_monitor() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListNames 2>/dev/null \
    | grep -q '"org.x.StatusIconMonitor.cinnamon'
}
