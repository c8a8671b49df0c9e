#!/usr/bin/env bash
# Builds a minimal shared (DLL) Qt for 64-bit Windows (mingw-w64, posix threads) from Debian's
# own qt6-base source and installs it into a cache outside the source tree. The cache folder is
# keyed by the Qt version and the configure switches, so a finished build is reused at once.
# Prints the installed folder on stdout, as its only line. On stderr it says whether the cache
# has it; a build says each phase and, at least once a minute, how far it is, with its full
# output in a log beside the cache folder.
# Usage: scripts/build-qt-windows.sh [--print-dir]   (--print-dir: only print where it goes)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
jobs="${ORLUNE_QT_JOBS:-2}"
# shellcheck source=lib/progress.sh
. "$here/lib/progress.sh"
trap pg_stop EXIT
trap 'exit 130' INT TERM

# The host tools (moc, rcc, uic) come from Debian's Qt and must be of the same version.
host_version="$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)"
if [ -z "$host_version" ]; then
  "$here/install-deps.sh" build windows >&2
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
log="$dest.log"

# Prints the folder, says it came from the cache, and exits.
reuse() {
  pg_say "Qt $qt_version for Windows from the cache: $dest"
  echo "$dest"
  exit 0
}

# Shows the end of the log and where all of it is, and exits.
failed() {
  tail -n 40 "$log" >&2
  pg_say "$PG_PHASE failed; full output: $log"
  exit 1
}

mkdir -p "$cache"
# One build at a time for a key; a second caller waits and then reuses the result.
exec 9>"$dest.lock"
if ! flock -n 9; then
  [ -f "$dest/.orlune-complete" ] ||
    pg_phase "waiting for another run to build Qt $qt_version for Windows" "its output: $log"
  # Its steps are in the log it writes; this run adds nothing to it.
  pg_run "$log" flock 9
fi
[ -f "$dest/.orlune-complete" ] && reuse

estimate="about 30 minutes with 2 jobs"
[ "$jobs" = 2 ] || estimate+=", $jobs here"
pg_say "Qt $qt_version for Windows is not in the cache: building it from Debian's source now, once" \
  "($estimate; later runs take it from the cache); full output: $log"
: >"$log"

"$here/install-deps.sh" build windows >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
command -v dpkg-source >/dev/null || $SUDO apt-get install -y -qq --no-install-recommends dpkg-dev >/dev/null

work="$cache/qt-windows-build-$key"
rm -rf "$work" "$dest"
mkdir -p "$work" "$dest"

pg_phase "fetching and unpacking Debian's qt6-base source" "a minute or two"
# Debian's source package needs a deb-src entry.
if ! apt-get source --print-uris "qt6-base=$host_version" >/dev/null 2>&1; then
  pg_say "adding a deb-src entry for bookworm"
  $SUDO tee /etc/apt/sources.list.d/orlune-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  pg_run "$log" $SUDO apt-get update -qq || failed
fi
cd "$work"
pg_run "$log" apt-get source -qq "qt6-base=$host_version" || failed
src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"
[ -n "$src" ] || { pg_say "no source folder in $work"; exit 1; }

printf '%s\n' "$toolchain_text" >"$dest/mingw-w64-posix.cmake"
mkdir -p "$work/build"
cd "$work/build"
pg_phase "configuring" "CMake, a few minutes"
pg_run "$log" "$src/configure" -prefix "$dest" "${switches[@]}" -- \
  -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$dest/mingw-w64-posix.cmake" \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake || failed
pg_phase "compiling" "ninja, about a thousand steps: most of the time"
# The steps are read from ninja's status lines, whatever the caller's NINJA_STATUS says.
NINJA_STATUS="[%f/%t] " pg_run "$log" cmake --build . --parallel "$jobs" || failed
pg_phase "installing into the cache"
cmake --install . >/dev/null
# The release package's notice names the Debian source Qt was built from and ships its
# copyright file.
printf 'qt6-base %s\n%s\n' "$host_version" "${switches[*]}" >"$dest/debian-source.txt"
cp "$src/debian/copyright" "$dest/debian-copyright.txt"
cd "$cache"
rm -rf "$work"
touch "$dest/.orlune-complete"
pg_say "built Qt $qt_version for Windows in $(((EPOCHSECONDS - PG_START) / 60)) min: $dest"
echo "$dest"
