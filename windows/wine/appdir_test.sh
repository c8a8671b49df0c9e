#!/usr/bin/env bash
# The Windows application directory as the release package ships it: the programs, the four
# closed libraries as DLLs, Qt as DLLs with its platform plugin, the toolchain's runtime DLLs,
# params.ini, the skin, the translations and the third-party notice. Every .exe and .dll imports
# only Windows' own DLLs and DLLs in the directory, no program carries its own Qt, and every
# third-party DLL is named in the notice. Prints the sizes.
# Usage: appdir_test.sh APPDIR
set -euo pipefail

app=$1
objdump=x86_64-w64-mingw32-objdump
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$app" || fail "no application directory $app"

ours=(Orlune.exe Orlune_DizovuvOdiv.exe service-standin.exe TqLog.dll TqLogic.dll TqCommonUI.dll TqMainFrame.dll)
for f in "${ours[@]}" Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Network.dll platforms/qwindows.dll \
  params.ini Skin/Client/config.ini Skin/Client/custom/tray_logo_28.png translation/Client/en_US.qm \
  translation/Client/de_DE.qm translation/Client/zh_CN.qm THIRD-PARTY-NOTICES.txt licenses/LGPL-3.txt \
  licenses/GPL-3.txt licenses/qt6-base-copyright.txt; do
  [ -s "$f" ] || fail "$f missing from the application directory"
done

subsystem() { "$objdump" -p "$1" | awk '/^Subsystem/ {print $2}'; }
[ "$(subsystem Orlune_DizovuvOdiv.exe)" = 00000002 ] || fail "the tray is not a GUI-subsystem program"
[ "$(subsystem Orlune.exe)" = 00000002 ] || fail "the launcher is not a GUI-subsystem program"
[ "$(subsystem service-standin.exe)" = 00000003 ] || fail "the stand-in service is not a console program"
grep -aq 'level="asInvoker"' Orlune_DizovuvOdiv.exe || fail "the tray's manifest does not run it as invoker"
grep -aq 'level="requireAdministrator"' Orlune.exe || fail "the launcher's manifest does not require administrator rights"

imports() { "$objdump" -p "$1" | awk '/DLL Name:/ {print tolower($3)}'; }
system_dll='(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|uuid|comdlg32|ws2_32|iphlpapi|winmm|imm32|dwmapi|uxtheme|version|netapi32|userenv|mpr|secur32|crypt32|bcrypt|ncrypt|dnsapi|wtsapi32|setupapi|shlwapi|shcore|winhttp|authz|d3d9|d3d11|d3d12|dxgi|msvcrt|ntdll|comctl32|winspool\.drv|api-ms-win-.*)(\.dll)?'
shipped=$(find . -maxdepth 1 -iname '*.dll' -printf '%f\n' | tr '[:upper:]' '[:lower:]')
while IFS= read -r -d '' binary; do
  while read -r dll; do
    [[ $dll =~ ^$system_dll$ ]] && continue
    grep -qxF "$dll" <<<"$shipped" || fail "$binary imports $dll, which is neither Windows' own nor in the directory"
  done < <(imports "$binary")
done < <(find . -iname '*.exe' -print0 -o -iname '*.dll' -print0)

# Qt is shared: every Qt program imports its DLLs instead of carrying a copy.
for binary in Orlune.exe Orlune_DizovuvOdiv.exe TqLogic.dll TqCommonUI.dll TqMainFrame.dll; do
  imports "$binary" | grep -qx qt6widgets.dll || fail "$binary does not import Qt6Widgets.dll"
done
imports service-standin.exe | grep -qx qt6core.dll || fail "service-standin.exe does not import Qt6Core.dll"
for dll in tqlogic.dll tqmainframe.dll tqcommonui.dll tqlog.dll; do
  imports Orlune.exe | grep -qx "$dll" || fail "the launcher does not import $dll"
done
while IFS= read -r -d '' binary; do
  if "$objdump" -f "$binary" | grep -q HAS_SYMS; then fail "$binary is not stripped"; fi
done < <(find . -iname '*.exe' -print0 -o -iname '*.dll' -print0)

# What ships from others is named in the notice.
while read -r dll; do
  case "$dll" in Tq*.dll) continue ;; esac
  grep -qF "$dll" THIRD-PARTY-NOTICES.txt || fail "$dll ships without a word in THIRD-PARTY-NOTICES.txt"
done < <(find . -iname '*.dll' -printf '%f\n')
grep -q "qt6-base [0-9]" THIRD-PARTY-NOTICES.txt || fail "the notice does not name Qt's Debian source package"

for f in "${ours[@]}"; do echo "$f: $(stat -c %s "$f") bytes"; done
echo "application directory: $(du -sb . | cut -f1) bytes in $(find . -type f | wc -l) files"
echo "PASS"
