# Cross-compiles the Qt-free OS layer, its tests and the Windows resources with mingw-w64;
# ctest runs the tests through wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORLUNE_MINGW_TRIPLE x86_64-w64-mingw32)
# The -posix thread model: the -win32 one has no std::thread, which GoogleTest needs.
set(CMAKE_C_COMPILER ${ORLUNE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORLUNE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORLUNE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORLUNE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The OS layer's tests are self-contained programs: a missing runtime DLL makes wine fail
# silently. Against a shared Qt, whose DLLs import the compiler's runtime DLLs, everything uses
# those same DLLs, shipped beside the programs.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORLUNE_SHARED_RUNTIME)
if(NOT ORLUNE_SHARED_RUNTIME)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

find_program(ORLUNE_WINE wine REQUIRED)
# Through a wrapper that starts again a process wine lost before it printed anything.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine-run.sh;${ORLUNE_WINE}")
