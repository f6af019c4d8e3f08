# GNOME Shell 43 as a headless Wayland compositor (see gnome.sh).
# shellcheck source=gnome.sh
source "$(dirname "${BASH_SOURCE[0]}")/gnome.sh"
export GNOME_WAYLAND=1
