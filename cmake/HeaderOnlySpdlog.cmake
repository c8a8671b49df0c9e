# spdlog for the Windows cross build: Debian's spdlog and fmt headers used header-only (their
# compiled libraries are Linux ones). Only those two folders are put on the include path, never
# the host's /usr/include, whose C library headers would shadow mingw's.
set(orlune_header_only_dir "${CMAKE_BINARY_DIR}/header-only")
file(MAKE_DIRECTORY "${orlune_header_only_dir}")
foreach(library spdlog fmt)
    if(NOT EXISTS "/usr/include/${library}/")
        message(FATAL_ERROR "/usr/include/${library} not found (Debian package libspdlog-dev)")
    endif()
    file(CREATE_LINK "/usr/include/${library}" "${orlune_header_only_dir}/${library}" SYMBOLIC)
endforeach()

add_library(orlune_spdlog_header_only INTERFACE)
target_include_directories(orlune_spdlog_header_only SYSTEM INTERFACE "${orlune_header_only_dir}")
target_compile_definitions(orlune_spdlog_header_only INTERFACE SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY)
add_library(spdlog::spdlog ALIAS orlune_spdlog_header_only)
