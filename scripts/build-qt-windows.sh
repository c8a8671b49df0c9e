#!/usr/bin/env bash
# Builds a minimal shared (DLL) Qt for 64-bit Windows (mingw-w64, posix threads) from Debian's
# own qt6-base source and installs it into a cache outside the source tree. The cache folder is
# keyed by the Qt version and the configure switches, so a finished build is reused at once.
# Prints the installed folder as its last line.
# Usage: scripts/build-qt-windows.sh [--print-dir]   (--print-dir: only print where it goes)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
jobs="${ORLUNE_QT_JOBS:-2}"

# The host tools (moc, rcc, uic) come from Debian's Qt and must be of the same version.
host_version="$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)"
if [ -z "$host_version" ]; then
  "$here/install-deps.sh" build windows
  host_version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
fi
qt_version="${host_version%%+*}"

# Everything the product does not use is left out; bundled third-party code is used where
# the mingw root has no library. Debian's source drops the tablet (wintab) headers. Without
# Direct2D, DirectWrite must go too: Qt 6.4 then still builds the platform plugin's reference
# to the DirectWrite font database but not the database, and programs fail to link. Fonts come
# through GDI.
switches=(-release -shared -xplatform win32-g++ -qt-host-path /usr
  -nomake tests -nomake examples -no-opengl -no-dbus -no-icu -no-zstd -no-openssl
  -no-feature-vulkan -no-libjpeg -no-gif -no-freetype -no-fontconfig
  -no-feature-sql -no-feature-printsupport -no-feature-concurrent -no-feature-xml
  -no-feature-tabletevent -no-feature-direct2d -no-feature-directwrite -no-feature-directwrite3
  -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz)

# The toolchain Qt is configured with is part of the key: Qt's own toolchain file chain-loads it.
toolchain_text='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)'

key="$(printf '%s\n' "${switches[@]}" "$toolchain_text" | sha256sum | cut -c1-10)"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/orlune"
dest="$cache/qt-windows-$qt_version-$key"

if [ "${1:-}" = "--print-dir" ]; then
  echo "$dest"
  exit 0
fi

mkdir -p "$cache"
# One build at a time for a key; a second caller waits and then reuses the result.
exec 9>"$dest.lock"
flock 9

if [ -f "$dest/.orlune-complete" ]; then
  echo "build-qt-windows: reusing $dest"
  echo "$dest"
  exit 0
fi

"$here/install-deps.sh" build windows
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
command -v dpkg-source >/dev/null || $SUDO apt-get install -y -qq --no-install-recommends dpkg-dev >/dev/null

start=$(date +%s)
work="$cache/qt-windows-build-$key"
rm -rf "$work" "$dest"
mkdir -p "$work" "$dest"

# Debian's source package needs a deb-src entry.
if ! apt-get source --print-uris "qt6-base=$host_version" >/dev/null 2>&1; then
  echo "build-qt-windows: adding a deb-src entry for bookworm"
  $SUDO tee /etc/apt/sources.list.d/orlune-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  $SUDO apt-get update -qq
fi
(cd "$work" && apt-get source -qq "qt6-base=$host_version" >/dev/null)
src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"
[ -n "$src" ] || { echo "build-qt-windows: no source folder in $work" >&2; exit 1; }

printf '%s\n' "$toolchain_text" >"$dest/mingw-w64-posix.cmake"
mkdir -p "$work/build"
cd "$work/build"
"$src/configure" -prefix "$dest" "${switches[@]}" -- \
  -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$dest/mingw-w64-posix.cmake" \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >configure.log 2>&1 ||
  { tail -n 60 configure.log >&2; exit 1; }
cmake --build . --parallel "$jobs"
cmake --install . >/dev/null
# The release package's notice names the Debian source Qt was built from and ships its
# copyright file.
printf 'qt6-base %s\n%s\n' "$host_version" "${switches[*]}" >"$dest/debian-source.txt"
cp "$src/debian/copyright" "$dest/debian-copyright.txt"
cd "$cache"
rm -rf "$work"
touch "$dest/.orlune-complete"
echo "build-qt-windows: built Qt $qt_version for Windows in $(($(date +%s) - start)) s"
echo "$dest"
