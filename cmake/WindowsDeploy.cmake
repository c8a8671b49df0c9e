# The Windows application directory as it ships: the programs and the closed libraries with the
# Qt DLLs, Qt plugins and toolchain runtime DLLs they import, and nothing more. The DLLs are
# found by reading the import tables, so the list follows the code. Windows' own DLLs are left
# to Windows; a DLL that is neither ours, Qt's nor the toolchain's is not copied, and the
# layout test then names it.

# The platform plugin, and the style plugin that gives the widgets Windows' own look. No image
# format plugin: the skin is PNG, which Qt reads without one.
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)

include(${CMAKE_CURRENT_LIST_DIR}/WindowsDllDirs.cmake)

install(CODE "set(ORLUNE_OBJDUMP \"${CMAKE_OBJDUMP}\")
set(ORLUNE_STRIP \"${CMAKE_STRIP}\")
set(ORLUNE_DLL_DIRS \"${orlune_dll_dirs}\")")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/InstallImportedDlls.cmake")

# The notice of what ships and under which licence, with the licence texts and copyright files
# from the Debian packages the pieces come from.
function(orlune_debian_version package out)
    execute_process(COMMAND dpkg-query -W "-f=\${Version}" ${package}
                    OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(${out} "${version}" PARENT_SCOPE)
endfunction()
set(orlune_qt_source_file "${QT6_INSTALL_PREFIX}/debian-source.txt")
if(NOT EXISTS "${orlune_qt_source_file}")
    message(STATUS "No third-party notice and no package: ${orlune_qt_source_file} is written by scripts/build-qt-windows.sh")
    return()
endif()
file(STRINGS "${orlune_qt_source_file}" orlune_qt_source_lines)
list(GET orlune_qt_source_lines 0 ORLUNE_QT_DEBIAN_SOURCE)
list(GET orlune_qt_source_lines 1 ORLUNE_QT_SWITCHES)
orlune_debian_version(libspdlog-dev ORLUNE_SPDLOG_VERSION)
orlune_debian_version(libfmt-dev ORLUNE_FMT_VERSION)
orlune_debian_version(gcc-mingw-w64-x86-64-posix-runtime ORLUNE_GCC_RUNTIME_VERSION)
orlune_debian_version(mingw-w64-x86-64-dev ORLUNE_MINGW_VERSION)
configure_file("${PROJECT_SOURCE_DIR}/windows/third-party-notices.txt.in"
               "${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt" @ONLY NEWLINE_STYLE CRLF)
install(FILES "${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt" DESTINATION .)
install(FILES /usr/share/common-licenses/LGPL-3 DESTINATION licenses RENAME LGPL-3.txt)
install(FILES /usr/share/common-licenses/GPL-3 DESTINATION licenses RENAME GPL-3.txt)
install(FILES "${QT6_INSTALL_PREFIX}/debian-copyright.txt" DESTINATION licenses RENAME qt6-base-copyright.txt)
install(FILES /usr/share/doc/libspdlog-dev/copyright DESTINATION licenses RENAME spdlog-copyright.txt)
install(FILES /usr/share/doc/libfmt-dev/copyright DESTINATION licenses RENAME fmt-copyright.txt)
install(FILES /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright
        DESTINATION licenses RENAME gcc-runtime-copyright.txt)
install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright DESTINATION licenses RENAME mingw-w64-copyright.txt)

# The release package: Orlune-<version>-win64.zip of the application directory, in one folder
# of that name.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Orlune)
set(CPACK_PACKAGE_FILE_NAME "Orlune-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
include(CPack)
