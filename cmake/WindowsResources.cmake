# Windows resources of the programs (icon, version block, manifest), kept in windows/.
set(ORLUNE_WINDOWS_RESOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/../windows")
set(ORLUNE_WINDOWS_GENERATED_DIR "${CMAKE_BINARY_DIR}/windows-resources")
if(WIN32)
    enable_language(RC)
    configure_file("${ORLUNE_WINDOWS_RESOURCE_DIR}/orlune_version.h.in"
                   "${ORLUNE_WINDOWS_GENERATED_DIR}/orlune_version.h" @ONLY)
endif()

# Attaches windows/<name>.rc to `target` and makes it a GUI-subsystem program. Does nothing
# when not building for Windows, so a program's CMakeLists may call it unconditionally.
function(orlune_windows_resources target name)
    if(NOT WIN32)
        return()
    endif()
    set(rc "${ORLUNE_WINDOWS_RESOURCE_DIR}/${name}.rc")
    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" TARGET_DIRECTORY ${target} PROPERTIES
        INCLUDE_DIRECTORIES "${ORLUNE_WINDOWS_RESOURCE_DIR};${ORLUNE_WINDOWS_GENERATED_DIR}"
        OBJECT_DEPENDS "${ORLUNE_WINDOWS_RESOURCE_DIR}/orlune.ico;${ORLUNE_WINDOWS_RESOURCE_DIR}/${name}.manifest;${ORLUNE_WINDOWS_RESOURCE_DIR}/versioninfo.rc;${ORLUNE_WINDOWS_GENERATED_DIR}/orlune_version.h")
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE TRUE)
    if(MSVC)
        # The manifest is in the resource; a second one from the linker would clash with it.
        target_link_options(${target} PRIVATE /MANIFEST:NO)
    endif()
endfunction()
