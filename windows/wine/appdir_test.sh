#!/usr/bin/env bash
# The Windows application directory as `cmake --install` lays it out: the programs, params.ini,
# the skin and the translations; the two programs are GUI-subsystem executables with their
# manifests, and every program imports only Windows system DLLs (Qt and the C++ runtime are
# linked in), so it starts on a bare Windows. Prints the programs' sizes.
# Usage: appdir_test.sh BUILD_DIR
set -euo pipefail

build=$1
objdump=x86_64-w64-mingw32-objdump
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/app" >/dev/null || fail "cmake --install failed"
cd "$work/app"
for f in Orlune.exe Orlune_DizovuvOdiv.exe service-standin.exe params.ini Skin/Client/config.ini \
  Skin/Client/custom/tray_logo_28.png translation/Client/en_US.qm translation/Client/de_DE.qm \
  translation/Client/zh_CN.qm; do
  [ -s "$f" ] || fail "$f missing from the installed application directory"
done

subsystem() { "$objdump" -p "$1" | awk '/^Subsystem/ {print $2}'; }
[ "$(subsystem Orlune_DizovuvOdiv.exe)" = 00000002 ] || fail "the tray is not a GUI-subsystem program"
[ "$(subsystem Orlune.exe)" = 00000002 ] || fail "the launcher is not a GUI-subsystem program"
[ "$(subsystem service-standin.exe)" = 00000003 ] || fail "the stand-in service is not a console program"
grep -aq 'level="asInvoker"' Orlune_DizovuvOdiv.exe || fail "the tray's manifest does not run it as invoker"
grep -aq 'level="requireAdministrator"' Orlune.exe || fail "the launcher's manifest does not require administrator rights"

for exe in *.exe; do
  others=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' |
    grep -vxE '(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|uuid|comdlg32|ws2_32|iphlpapi|winmm|imm32|dwmapi|uxtheme|version|netapi32|userenv|mpr|secur32|crypt32|bcrypt|ncrypt|dnsapi|wtsapi32|setupapi|shlwapi|shcore|winhttp|authz|d3d9|d3d11|dxgi|msvcrt|api-ms-win-.*)\.dll' || true)
  [ -z "$others" ] || fail "$exe needs DLLs that are not part of Windows: $others"
  if "$objdump" -f "$exe" | grep -q HAS_SYMS; then fail "$exe is not stripped"; fi
  echo "$exe: $(stat -c %s "$exe") bytes"
done
echo "PASS"
