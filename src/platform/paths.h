#pragma once

#include <QString>

// XDG base directories of this program. Each honours its XDG_* variable (an
// absolute path only, as the base directory rules say) and falls back to the
// usual location under $HOME. Nothing here creates a directory.
namespace paths {

inline constexpr const char *appName = "quillmere-menubar";

QString configHome(); // $XDG_CONFIG_HOME or ~/.config
QString dataHome(); // $XDG_DATA_HOME or ~/.local/share
QString cacheHome(); // $XDG_CACHE_HOME or ~/.cache

QString settingsFile(); // <config>/quillmere-menubar/settings.ini
QString cookieFile(); // <data>/quillmere-menubar/cookies
QString snapshotsDir(); // <cache>/quillmere-menubar/snapshots
QString autostartFile(); // <config>/autostart/quillmere-menubar.desktop

// Creates dir (and parents) and restricts the leaf to the owner (0700).
bool makePrivateDir(const QString &dir);

} // namespace paths
