# Patched copies of JUCE modules, made at configure time (used by LumoJuce.cmake and
# LumoJuceMingw.cmake).
#
#   lumo_juce_patch(<file> <from> <to>)
#       registers one patch: <file> relative to the modules folder, the exact text to find and its
#       replacement. The texts contain semicolons, so they cannot live in CMake lists: each patch
#       is kept in variables of its own.
#   lumo_juce_patched_copy(<source modules dir> <dest dir> <modules...>)
#       copies the modules into <dest dir> and applies every registered patch to the copy (the
#       originals stay untouched). A patch that no longer applies stops the configure step. A stamp
#       naming the sources, the JUCE version, the modules and the patches skips the work on the
#       next configure while it still matches.
include_guard(GLOBAL)

set(_lumo_juce_patch_count 0)
set(_lumo_juce_patch_text "")
macro(lumo_juce_patch file from to)
    set(_lumo_juce_patch_${_lumo_juce_patch_count}_file "${file}")
    set(_lumo_juce_patch_${_lumo_juce_patch_count}_from "${from}")
    set(_lumo_juce_patch_${_lumo_juce_patch_count}_to "${to}")
    string(APPEND _lumo_juce_patch_text "${file}|${from}|${to}|")
    math(EXPR _lumo_juce_patch_count "${_lumo_juce_patch_count} + 1")
endmacro()

function(lumo_juce_patched_copy source_dir dest_dir)
    set(modules ${ARGN})
    file(STRINGS "${source_dir}/juce_core/juce_core.h" version REGEX "^  version: ")
    string(SHA256 patches_hash "${_lumo_juce_patch_text}")
    set(stamp_text "${source_dir}|${version}|${modules}|${patches_hash}")
    set(stamp "${dest_dir}/.lumo-patch-stamp")
    set(old_stamp "")
    if(EXISTS "${stamp}")
        file(READ "${stamp}" old_stamp)
    endif()
    if(old_stamp STREQUAL stamp_text)
        return()
    endif()

    message(STATUS "Copying and patching the JUCE modules ${modules} into ${dest_dir}")
    file(REMOVE_RECURSE "${dest_dir}")
    file(MAKE_DIRECTORY "${dest_dir}")
    foreach(module IN LISTS modules)
        if(NOT EXISTS "${source_dir}/${module}/${module}.h")
            message(FATAL_ERROR "JUCE module ${module} not found in ${source_dir}")
        endif()
        file(COPY "${source_dir}/${module}" DESTINATION "${dest_dir}")
    endforeach()

    if(_lumo_juce_patch_count GREATER 0)
        math(EXPR last "${_lumo_juce_patch_count} - 1")
        foreach(i RANGE ${last})
            set(file "${_lumo_juce_patch_${i}_file}")
            set(from "${_lumo_juce_patch_${i}_from}")
            set(to "${_lumo_juce_patch_${i}_to}")
            set(path "${dest_dir}/${file}")
            if(NOT EXISTS "${path}")
                file(REMOVE_RECURSE "${dest_dir}")
                message(FATAL_ERROR "JUCE patch for ${file}: the file is not in the copied modules")
            endif()
            # file(READ) drops the CRs of the CRLF files; they are written back with LF endings,
            # which the compiler does not mind.
            file(READ "${path}" text)
            string(FIND "${text}" "${from}" at)
            if(at EQUAL -1)
                file(REMOVE_RECURSE "${dest_dir}")
                message(FATAL_ERROR "JUCE patch does not apply: '${from}' not found in ${file}. "
                    "The JUCE sources differ from the ones the patches were made for; review the "
                    "lumo_juce_patch() calls in cmake/.")
            endif()
            string(REPLACE "${from}" "${to}" text "${text}")
            file(WRITE "${path}" "${text}")
        endforeach()
    endif()
    file(WRITE "${stamp}" "${stamp_text}")
endfunction()
