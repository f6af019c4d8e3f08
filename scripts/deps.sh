#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, run and test.
# Run as root (or through sudo). Safe to run again: apt skips what is there.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config git ccache clang-format python3
  iproute2 util-linux strace
  # fuzzing (scripts/fuzz.sh): clang with libFuzzer and the sanitizers
  clang libfuzzer-14-dev
  # Qt 6 and friends
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-declarative-dev-tools
  qt6-httpserver-dev qt6-svg-dev qt6-tools-dev-tools
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtqml-workerscript qml6-module-qtquick-templates
  libqt6svg6 qt6-qpa-plugins
  # the popover sets figures in DejaVu Sans Mono, whose digits never change width
  fonts-dejavu-core
  qcoro-qt6-dev qtkeychain-qt6-dev libxcb1-dev
  # benchmarks
  libbenchmark-dev
  # the Debian package (scripts/package.sh) and its checks (scripts/check-package.sh)
  dpkg-dev lintian appstream
  # services the tests and the demo talk to
  dbus dbus-x11 gnome-keyring libsecret-tools xvfb xauth xdg-utils desktop-file-utils x11-utils
  # real desktops the panel tests start (tests/desktops), and what they look
  # and click with: screenshots, text recognition, pointer and keys
  xdotool imagemagick tesseract-ocr tesseract-ocr-eng dconf-service dconf-cli qdbus-qt5
  kwin-x11 kwin-wayland plasma-workspace plasma-desktop kded5 kpackagetool5
  gnome-shell gnome-shell-extension-appindicator
  cinnamon xapp-sn-watcher python3-xapp gir1.2-xapp-1.0 mate-panel mate-xapp-status-applet
  sway grim xwayland
  xfce4-panel xfce4-indicator-plugin ayatana-indicator-application
  nodejs
  # Wayland: Qt's client, keys typed into the popover under sway, a look at a
  # compositor's globals; XFCE's window manager (it publishes the work area)
  qt6-wayland wtype wayland-utils xfwm4
  # keys typed into the popover under KWin (tests/desktops/kwin-type.c): the
  # fake-input protocol, wayland-scanner and the client library
  plasma-wayland-protocols libwayland-bin libwayland-dev
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
