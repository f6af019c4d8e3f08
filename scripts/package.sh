#!/usr/bin/env bash
# Builds the Debian package of quillmere-menubar: an optimised build of the
# program and its window module only (no tests, no development server) in
# build-package/, packed by CPack into build-package/quillmere-menubar_*.deb.
#   scripts/package.sh                 (then: sudo apt install ./build-package/quillmere-menubar_*.deb)
# Needs what scripts/deps.sh installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLMERE_PACKAGE_DIR:-$root/build-package}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Compiled with the hardening flags Debian builds its own packages with.
# Installed under /usr, the module goes to /usr/lib/<multiarch>/quillmere-menubar
# (a private folder, not on the loader's path); like every Debian package the
# binaries carry no run-time library path of their own. CPack builds nothing itself
# (CMAKE_SKIP_INSTALL_ALL_DEPENDENCY): the two shipped targets are built here.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS="hardening=+all" DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQUILLMERE_BENCHMARKS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DQUILLMERE_SOURCE_TREE_ICONS=OFF \
  -DCMAKE_SKIP_INSTALL_RPATH=ON \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
  "${launcher[@]}" >/dev/null
ninja -C "$build" quillmere-menubar quillmere-gui
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/quillmere-menubar_*.deb
