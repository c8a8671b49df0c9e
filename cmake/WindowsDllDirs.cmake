# The folders of the DLLs the Windows programs import besides Windows' own: Qt's, then the
# compiler's runtime (libstdc++, libgcc_s, winpthread). Sets orlune_dll_dirs.
get_target_property(orlune_qtcore_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(orlune_qt_bin_dir "${orlune_qtcore_dll}" DIRECTORY)
set(orlune_dll_dirs "${orlune_qt_bin_dir}")
foreach(runtime_dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${runtime_dll}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(runtime_dir "${runtime_path}" DIRECTORY)
    list(APPEND orlune_dll_dirs "${runtime_dir}")
endforeach()
list(REMOVE_DUPLICATES orlune_dll_dirs)
