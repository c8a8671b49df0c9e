# How the GoogleTest programs of the Qt layers become ctest tests. Natively they run as they
# are. In the Windows build they run under wine: named "wine.<suite>.<test>", each after the
# shared virtual desktop and its one wine server are up (windows/wine), with the Qt DLLs, the
# toolchain's runtime DLLs and the closed libraries (in the application directory) found on
# wine's search path, also by the programs a test starts.
set(ORLUNE_SUITES_UNDER_WINE OFF)
if(WIN32 AND CMAKE_CROSSCOMPILING AND NOT ORLUNE_PLATFORM_ONLY)
    set(ORLUNE_SUITES_UNDER_WINE ON)
    include(${CMAKE_CURRENT_LIST_DIR}/WindowsDllDirs.cmake)
    set(orlune_wine_run "${PROJECT_SOURCE_DIR}/scripts/lib/wine-run.sh")
    foreach(dir IN LISTS orlune_dll_dirs ITEMS "${ORLUNE_APPDIR}")
        list(APPEND orlune_wine_run --dll-dir "${dir}")
    endforeach()
    # The display the shared desktop writes for its tests, once it is up.
    list(APPEND orlune_wine_run --env-file "${CMAKE_BINARY_DIR}/wine-desktop/env" "${ORLUNE_WINE}")
    # Every test program made from here on runs through it.
    set(CMAKE_CROSSCOMPILING_EMULATOR "${orlune_wine_run}")
endif()

# Where a test compiled for Windows finds a file of the build tree: wine shows the Linux root
# as drive Z:. Prefix a build-tree path handed to a test with it.
if(ORLUNE_SUITES_UNDER_WINE)
    set(ORLUNE_TEST_DRIVE "Z:")
else()
    set(ORLUNE_TEST_DRIVE "")
endif()

# orlune_test_suite(TARGET [PROPERTIES ...]): registers the tests of a GoogleTest program, with
# these test properties added natively.
function(orlune_test_suite target)
    if(ORLUNE_SUITES_UNDER_WINE)
        # A first listing run may have to start wine's server and wait for a busy machine.
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 90 TEST_PREFIX "wine."
                             PROPERTIES FIXTURES_REQUIRED wine_desktop LABELS qt-under-wine TIMEOUT 300)
    else()
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30 ${ARGN})
    endif()
endfunction()
