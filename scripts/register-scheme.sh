#!/usr/bin/env bash
# Makes quillmere-menubar the handler of quillmere-menubar:// addresses for the
# current user: installs the desktop entry into $XDG_DATA_HOME/applications and
# sets it as the default for x-scheme-handler/quillmere-menubar.
#   scripts/register-scheme.sh [PATH-TO-BINARY]
# With a binary path (for example a build folder's copy), the entry starts that
# binary; without one it starts quillmere-menubar from PATH.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
entry="$here/data/quillmere-menubar.desktop"
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$apps"

target="$apps/quillmere-menubar.desktop"
tmp=$(mktemp "$apps/.quillmere-menubar.desktop.XXXXXX")
trap 'rm -f "$tmp"' EXIT
if [ $# -ge 1 ]; then
  binary=$(realpath "$1")
  [ -x "$binary" ] || { echo "register-scheme.sh: $binary is not an executable" >&2; exit 1; }
  # Desktop entry quoting: inside double quotes, escape " ` $ and \; write % as %%.
  quoted=$(printf '%s' "$binary" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g')
  # The sed replacement needs & | and \ escaped once more.
  replacement=$(printf '%s' "\"$quoted\"" | sed -e 's/[&|\\]/\\&/g')
  sed -e "s|^Exec=quillmere-menubar|Exec=$replacement|" "$entry" >"$tmp"
else
  cp "$entry" "$tmp"
fi
chmod 644 "$tmp"
mv -f "$tmp" "$target"
trap - EXIT

if command -v update-desktop-database >/dev/null; then
  update-desktop-database "$apps" >/dev/null 2>&1 || true
fi
xdg-mime default quillmere-menubar.desktop x-scheme-handler/quillmere-menubar
echo "quillmere-menubar:// now opens with $(grep -m1 '^Exec=' "$target" | cut -d= -f2-)"
