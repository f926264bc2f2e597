# The program's version for code: `lumo_version` gives a target the generated header
# LumoVersion.h (LUMO_VERSION, e.g. "1.1.0.7"). The Windows version resource is configured from
# the same number (resources/lumo.rc.in).
include_guard(GLOBAL)

set(LUMO_VERSION "${PROJECT_VERSION}")
set(LUMO_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR}")
foreach(part PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
        string(APPEND LUMO_VERSION_COMMAS ",0")
    else()
        string(APPEND LUMO_VERSION_COMMAS ",${PROJECT_VERSION_${part}}")
    endif()
endforeach()
string(REPLACE "," "." LUMO_VERSION_FOUR "${LUMO_VERSION_COMMAS}")

set(LUMO_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/LumoVersion.h.in" "${LUMO_GENERATED_DIR}/LumoVersion.h" @ONLY)
add_library(lumo_version INTERFACE)
target_include_directories(lumo_version INTERFACE "${LUMO_GENERATED_DIR}")

# The day of this release, for the AppStream metadata and the changelog of the Linux package.
set(LUMO_RELEASE_DATE 2026-12-09)
set(LUMO_RELEASE_DATE_RFC2822 "Wed, 09 Dec 2026 00:00:00 +0000")
