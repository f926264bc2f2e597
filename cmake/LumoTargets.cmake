# Shared helpers for the project's own targets.

# Warnings are errors in our code only; third-party code (JUCE, GoogleTest) is built without them.
function(lumo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

# Collects the .cpp files of a folder, keeping only the platform files of the platform being
# built (Foo_win32.cpp on Windows, Foo_posix.cpp elsewhere).
function(lumo_collect_sources out_var dir)
    file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
    set(kept "")
    foreach(src IN LISTS sources)
        if(src MATCHES "_(win32|posix)\\.cpp$")
            if(NOT src MATCHES "_${LUMO_PLATFORM}\\.cpp$")
                continue()
            endif()
        endif()
        list(APPEND kept "${src}")
    endforeach()
    set(${out_var} "${kept}" PARENT_SCOPE)
endfunction()

# A static library made of every source file of the current folder.
function(lumo_add_library target)
    lumo_collect_sources(sources "${CMAKE_CURRENT_SOURCE_DIR}")
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
    lumo_warnings(${target})
endfunction()
