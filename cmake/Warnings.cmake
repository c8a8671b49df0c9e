# Warnings on for our own targets; third-party headers come in as system includes.
function(orlune_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive-)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                                 -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
                                                 -Woverloaded-virtual -Wformat=2)
    endif()
endfunction()

# Places a program in the build tree's application directory; on Windows, what it imports is
# installed beside it (cmake/WindowsDeploy.cmake).
function(orlune_program target)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ORLUNE_APPDIR}")
    orlune_install_runtime(${target})
endfunction()

# Installs a program or shared library into the application directory.
function(orlune_install_runtime target)
    install(TARGETS ${target} RUNTIME DESTINATION . LIBRARY DESTINATION .)
endfunction()
