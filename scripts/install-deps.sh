#!/usr/bin/env bash
# Installs what building, running and testing the project needs, from Debian's packages.
# Idempotent: when everything is present it only checks and returns.
# Usage: scripts/install-deps.sh [build|run|test|check|windows]...  (default: build)
# windows: the OS layer's cross build, Qt for Windows from Debian's source and the programs
# for Windows with their end-to-end tests under wine on a virtual desktop.
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  libgl-dev libxkbcommon-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libspdlog-dev librsvg2-bin time)
run_pkgs=(xvfb trayer xdotool imagemagick qt6-qpa-plugins fonts-dejavu-core fonts-wqy-microhei)
test_pkgs=(clang libclang-rt-14-dev xvfb trayer xdotool imagemagick qt6-qpa-plugins fonts-dejavu-core procps)
check_pkgs=(clang-format clang-tidy shellcheck)
windows_pkgs=(cmake ninja-build ccache googletest g++-mingw-w64-x86-64-posix wine wine64
  dpkg-dev qt6-base-dev qt6-base-dev-tools qt6-l10n-tools libspdlog-dev librsvg2-bin
  xvfb trayer xdotool imagemagick evilwm fonts-wine)

want=()
[ $# -eq 0 ] && set -- build
for group in "$@"; do
  case "$group" in
    build) want+=("${build_pkgs[@]}") ;;
    run) want+=("${build_pkgs[@]}" "${run_pkgs[@]}") ;;
    test) want+=("${build_pkgs[@]}" "${test_pkgs[@]}") ;;
    check) want+=("${build_pkgs[@]}" "${check_pkgs[@]}") ;;
    windows) want+=("${windows_pkgs[@]}") ;;
    *) echo "install-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in $(printf '%s\n' "${want[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# A first install (wine, the cross compilers) takes minutes: it says at least once a minute
# that it is still working.
# shellcheck source=lib/progress.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/progress.sh"
trap pg_stop EXIT
trap 'exit 130' INT TERM
packages="${#missing[@]} packages"
[ ${#missing[@]} -gt 1 ] || packages="1 package"
pg_phase "installing $packages" "${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
# Quiet, but its errors show.
apt_install() {
  $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
pg_run - $SUDO apt-get update -qq
pg_run - apt_install "${missing[@]}"
