#!/usr/bin/env bash
# Checks a built package: lintian (no errors), the QML modules in Depends,
# the metadata, the Plasma panel widget, the GNOME Shell extension and a run
# of the program unpacked into a scratch root. As root it also installs the
# package with apt (offline: everything it depends on is installed by
# scripts/deps.sh), checks that Plasma finds the widget and that the URL
# scheme is registered,
# starts the installed program in a private session under Xvfb, opens the
# popover and the settings window, and purges the package again.
#   scripts/check-package.sh build-package/quillmere-menubar_VERSION_ARCH.deb
# Set QUILLMERE_PACKAGE_INSTALL=0 to leave out the installation.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$(realpath "$1")
name=quillmere-menubar
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
work=$(mktemp -d /tmp/quillmere-package.XXXXXX)
installed_here=""
cleanup() {
  if [ -n "$installed_here" ]; then
    echo "-- purging the package"
    dpkg --purge "$name" >/dev/null || echo "FAILED: dpkg --purge $name" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

echo "-- lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

echo "-- QML modules in Depends (from the views' import lines)"
python3 "$root/tests/packaging/qml_depends.py" "$depends" "$root" || fail "a QML module the views import is not in Depends"

echo "-- unpacked into a scratch root"
dpkg -x "$deb" "$work/root"
appstreamcli validate-tree --no-net "$work/root" || fail "appstreamcli validate-tree"
desktop-file-validate "$work/root/usr/share/applications/$name.desktop" || fail "desktop-file-validate"
# The GNOME Shell extension: the form for the shell Debian 12 ships, in the
# folder the shell scans, named by its uuid.
uuid=quillmere-menubar@velmorcraft.com
extension="$work/root/usr/share/gnome-shell/extensions/$uuid"
for file in extension.js metadata.json quillmere-menubar-symbolic.svg; do
  [ -f "$extension/$file" ] || fail "the GNOME Shell extension has no $file"
done
python3 - "$extension/metadata.json" "$uuid" <<'PY' || fail "the GNOME Shell extension's metadata.json"
import json, sys
metadata = json.load(open(sys.argv[1]))
assert metadata["uuid"] == sys.argv[2], metadata["uuid"]
assert "43" in metadata["shell-version"], metadata["shell-version"]
PY
grep -q '^function init(' "$extension/extension.js" || fail "the GNOME Shell extension is not the imports form"
# Nothing in it may point into the tree it was built from.
for file in $(find "$work/root" -type f); do
  if { strings -a "$file"; strings -a -el "$file"; } | grep -F "$root/"; then
    fail "${file#"$work/root"} names the build machine's source tree"
  fi
done
got=$("$work/root/usr/bin/$name" --version)
[ "$got" = "$name $version" ] || fail "--version printed '$got', not '$name $version'"
echo "$got"
# Without a running instance --line loads the module: found beside the
# program's own folder, wherever the tree lies.
env -u DBUS_SESSION_BUS_ADDRESS HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" \
  XDG_CACHE_HOME="$work/home/cache" XDG_DATA_HOME="$work/home/data" \
  "$work/root/usr/bin/$name" --line >"$work/line.txt" 2>&1 || { cat "$work/line.txt"; fail "--line from the scratch root"; }

echo "-- the Plasma panel widget"
widget_id=com.velmorcraft.quillmere.menubar
widget="$work/root/usr/share/plasma/plasmoids/$widget_id"
python3 - "$widget" "$widget_id" "$version" <<'PY' || fail "the Plasma panel widget's package"
import json, os, re, sys
folder, widget_id, version = sys.argv[1:]
meta = json.load(open(os.path.join(folder, "metadata.json")))
plugin = meta["KPlugin"]
assert plugin["Id"] == widget_id, plugin["Id"]
assert plugin["Version"] == version, plugin["Version"]
main = os.path.join(folder, "contents", "ui", "main.qml")
# Every script and file a QML file of the package imports by path is in it.
for root, _, files in os.walk(os.path.join(folder, "contents", "ui")):
    for name in files:
        text = open(os.path.join(root, name)).read()
        for target in re.findall(r'^import\s+"([^"]+)"', text, re.M):
            path = os.path.normpath(os.path.join(root, target))
            assert os.path.isfile(path), f"{name} imports {target}, which is not in the package"
assert os.path.isfile(main), "no contents/ui/main.qml"
print(f"{widget_id} {plugin['Version']}: {', '.join(sorted(os.listdir(os.path.join(folder, 'contents'))))}")
PY

if [ "$(id -u)" -ne 0 ] || [ "${QUILLMERE_PACKAGE_INSTALL:-1}" = 0 ]; then
  echo "-- not installed (needs root; QUILLMERE_PACKAGE_INSTALL=0 leaves it out)"
  exit 0
fi
if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "installed"; then
  echo "-- $name is installed on this machine already; it is left as it is and the installation not checked"
  exit 0
fi

echo "-- apt install"
installed_here=1
apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install"; }
[ -x /usr/bin/$name ] || fail "/usr/bin/$name is not there"
[ -f "/usr/share/gnome-shell/extensions/$uuid/metadata.json" ] || fail "the GNOME Shell extension is not installed"
grep -q "^x-scheme-handler/$name=.*$name.desktop" /usr/share/applications/mimeinfo.cache ||
  fail "the desktop database does not name $name.desktop for x-scheme-handler/$name"

# Plasma finds the installed widget.
if command -v kpackagetool5 >/dev/null; then
  kpackagetool5 --type Plasma/Applet --global --show "$widget_id" | grep -q "Plugin : $widget_id$" ||
    fail "kpackagetool5 does not find the installed Plasma widget"
  echo "kpackagetool5 finds $widget_id"
fi

echo "-- the installed program in a private session"
# What the session does: the handler of the scheme is the installed entry;
# the first start becomes the instance, the second opens its popover, then
# the settings window. Every qmldir the engine reads is traced.
session_check() {
  set -euo pipefail
  local log=$1
  local handler
  handler=$(xdg-mime query default "x-scheme-handler/$name")
  [ "$handler" = "$name.desktop" ] || { echo "xdg-mime names '$handler' for the scheme"; return 1; }
  for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
  QML_IMPORT_TRACE=1 $name >"$log" 2>&1 &
  local instance=$!
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:com.velmorcraft.quillmere.menubar 2>/dev/null | grep -q 'boolean true' && break
    kill -0 "$instance" 2>/dev/null || { echo "the instance ended"; return 1; }
    sleep 0.1
  done
  local title
  for title in Quillmere "Quillmere Settings"; do
    if [ "$title" = Quillmere ]; then $name; else $name --settings; fi
    for _ in $(seq 100); do
      xwininfo -root -tree | grep -q "\"$title\": (\"$name\"" && break
      kill -0 "$instance" 2>/dev/null || { echo "the instance ended"; return 1; }
      sleep 0.1
    done
    xwininfo -root -tree | grep -q "\"$title\": (\"$name\"" || { echo "no window \"$title\""; return 1; }
    echo "window \"$title\" is open"
  done
  $name --quit
  wait "$instance"
}
export -f session_check
export name
"$root/scripts/with-session.sh" bash -c 'session_check "$1"' _ "$work/run.log" ||
  { grep -v "^QQmlImport" "$work/run.log" | tail -40; fail "the installed program under Xvfb"; }
if grep -v "^QQmlImport" "$work/run.log" | grep -E "is not installed|module .* not found|\.qml:[0-9]+"; then
  fail "QML errors from the installed program"
fi
python3 "$root/tests/packaging/qml_depends.py" "$depends" "$root" "$work/run.log" | grep -v "imported by" ||
  fail "a QML module loaded at run time is not in Depends"

echo "-- purge"
installed_here=""
dpkg --purge "$name" >/dev/null
[ ! -e /usr/bin/$name ] || fail "/usr/bin/$name is left after the purge"
[ ! -e "/usr/share/gnome-shell/extensions/$uuid" ] || fail "the GNOME Shell extension is left after the purge"
! grep -q "^x-scheme-handler/$name=" /usr/share/applications/mimeinfo.cache ||
  fail "the desktop database still names the scheme after the purge"
echo "package checks passed"
