# Run by `cmake --install` (cmake/WindowsDeploy.cmake): copies into the application directory
# every DLL that its programs, DLLs and plugins import, directly or through another, and that
# one of ORLUNE_DLL_DIRS holds (Qt's and the toolchain's). Import tables name DLLs in any case
# and Windows matches them so; the folders here are on a case-sensitive file system, so the
# names are matched here rather than by file(GET_RUNTIME_DEPENDENCIES).
# The copies are stripped, as our own programs are: Qt's release DLLs keep their symbol tables.
# Expects ORLUNE_OBJDUMP, ORLUNE_STRIP and ORLUNE_DLL_DIRS.
set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

set(available "")
foreach(dir IN LISTS ORLUNE_DLL_DIRS)
    file(GLOB dlls LIST_DIRECTORIES false "${dir}/*.dll")
    foreach(dll IN LISTS dlls)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" key)
        if(NOT DEFINED "source_${key}")
            set("source_${key}" "${dll}")
        endif()
    endforeach()
endforeach()

file(GLOB_RECURSE pending LIST_DIRECTORIES false "${prefix}/*.exe" "${prefix}/*.dll")
set(copied "")
while(pending)
    list(POP_FRONT pending binary)
    execute_process(COMMAND "${ORLUNE_OBJDUMP}" -p "${binary}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${ORLUNE_OBJDUMP} cannot read ${binary}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: " "" name "${import}")
        string(TOLOWER "${name}" key)
        list(FIND copied "${key}" seen)
        if(DEFINED "source_${key}" AND seen EQUAL -1)
            list(APPEND copied "${key}")
            file(INSTALL "${source_${key}}" DESTINATION "${prefix}")
            get_filename_component(file_name "${source_${key}}" NAME)
            list(APPEND pending "${prefix}/${file_name}")
        endif()
    endforeach()
endwhile()

file(GLOB_RECURSE dlls LIST_DIRECTORIES false "${prefix}/*.dll")
foreach(dll IN LISTS dlls)
    execute_process(COMMAND "${ORLUNE_STRIP}" --strip-all "${dll}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${ORLUNE_STRIP} cannot strip ${dll}")
    endif()
endforeach()
