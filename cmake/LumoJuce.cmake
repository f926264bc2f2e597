# JUCE for the GUI parts of the program (the application, the dialogs, their tests and the
# picture generator).
#
# The five JUCE modules we use are compiled once, into the static library `lumo_juce`; everything
# that needs JUCE links it and gets the module headers (as system headers, so our warning flags do
# not fire on JUCE's code) and the JUCE configuration with it. JUCE's own code is compiled
# without our warning flags: GCC 12 reports dozens of false positives in it.
#
#   lumo_juce                          the JUCE module code and its configuration
#   lumo_add_juce_app(target SOURCES <files...> [OUTPUT_NAME <name>])
#                                      a GUI executable of our own code, linked with lumo_juce and
#                                      carrying the program resources
#   lumo_target_resources(target)      gives an executable the program resources (the background
#                                      picture, and on Windows the icon and version information)
#
# Program resources: on Windows resources/lumo.rc.in, configured with the version, is compiled
# into the executable (PNG resource BACKGROUND of type PNG, the icon, the version information);
# elsewhere the same files are embedded with JUCE's binary-data generator into `lumo_resources`
# (namespace LumoResources, header LumoResources.h), where a resource is found by its original file name.
include_guard(GLOBAL)
include(LumoJuceConfig)

set(LUMO_JUCE_MODULES juce_core juce_events juce_data_structures juce_graphics juce_gui_basics)
set(LUMO_RESOURCES_DIR "${PROJECT_SOURCE_DIR}/resources")
# The files embedded as program resources (see resources/lumo.rc.in for the Windows side).
# The front plate is carried at 1x, 2x and 4x, so that a zoomed panel never enlarges a picture.
set(LUMO_RESOURCE_FILES "${LUMO_RESOURCES_DIR}/background.png" "${LUMO_RESOURCES_DIR}/background2x.png"
    "${LUMO_RESOURCES_DIR}/background4x.png")

find_program(LUMO_CCACHE ccache)

# JUCE's module code is the slow part of a clean build and never changes; ccache makes rebuilds of
# it (new build directories, reconfigures) near-instant. juce_Time.cpp uses __DATE__/__TIME__,
# which would defeat the cache without the time_macros sloppiness.
function(lumo_use_ccache target)
    if(LUMO_CCACHE)
        set_target_properties(${target} PROPERTIES
            C_COMPILER_LAUNCHER "${CMAKE_COMMAND};-E;env;CCACHE_SLOPPINESS=time_macros;${LUMO_CCACHE}"
            CXX_COMPILER_LAUNCHER "${CMAKE_COMMAND};-E;env;CCACHE_SLOPPINESS=time_macros;${LUMO_CCACHE}")
    endif()
endfunction()

if(WIN32)
    # The MinGW build compiles a patched copy of the modules against static libpng/libjpeg.
    include(LumoJuceMingw)
else()
    find_package(JUCE 7.0.5 CONFIG REQUIRED)
    set(LUMO_JUCE_MODULES_DIR "${JUCE_MODULES_DIR}")
    include(LumoJuceLinux)
endif()

add_library(lumo_juce STATIC)
foreach(module IN LISTS LUMO_JUCE_MODULES)
    target_link_libraries(lumo_juce PRIVATE juce::${module})
endforeach()

lumo_juce_configuration(lumo_juce "${LUMO_JUCE_MODULES_DIR}")
lumo_use_ccache(lumo_juce)

if(WIN32)
    lumo_juce_mingw_configure(lumo_juce)
else()
    # Debian builds JUCE against the system's zlib, libpng and libjpeg instead of the bundled
    # copies; the module targets do not say so themselves.
    target_link_libraries(lumo_juce PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS z)
endif()

# ---- program resources ----

# Generates the embedded-resource library with JUCE's generator. The generator runs again
# whenever one of the files changes (JUCE's own helper only watches its list of file names).
function(lumo_add_binary_data target)
    cmake_parse_arguments(ARG "" "NAMESPACE;HEADER_NAME" "SOURCES" ${ARGN})
    set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_binarydata")
    set(outputs "")
    set(list_text "")
    set(index 1)
    foreach(src IN LISTS ARG_SOURCES)
        list(APPEND outputs "${out_dir}/BinaryData${index}.cpp")
        string(APPEND list_text "${src}\n")
        math(EXPR index "${index} + 1")
    endforeach()
    list(APPEND outputs "${out_dir}/${ARG_HEADER_NAME}")
    file(MAKE_DIRECTORY "${out_dir}")
    file(CONFIGURE OUTPUT "${out_dir}/input_file_list" CONTENT "${list_text}")
    add_custom_command(OUTPUT ${outputs}
        COMMAND juce::juceaide binarydata "${ARG_NAMESPACE}" "${ARG_HEADER_NAME}" "${out_dir}"
            "${out_dir}/input_file_list"
        DEPENDS "${out_dir}/input_file_list" ${ARG_SOURCES}
        COMMENT "Embedding ${target} resources"
        VERBATIM)
    add_library(${target} STATIC ${outputs})
    target_include_directories(${target} INTERFACE "${out_dir}")
    target_compile_features(${target} PRIVATE cxx_std_17)
endfunction()

if(WIN32)
    configure_file("${LUMO_RESOURCES_DIR}/lumo.rc.in" "${LUMO_GENERATED_DIR}/lumo.rc" @ONLY)
else()
    lumo_add_binary_data(lumo_resources
        NAMESPACE LumoResources
        HEADER_NAME LumoResources.h
        SOURCES ${LUMO_RESOURCE_FILES})
endif()

function(lumo_target_resources target)
    if(WIN32)
        target_sources(${target} PRIVATE "${LUMO_GENERATED_DIR}/lumo.rc")
        # windres resolves the file names in the script relative to its include path.
        set_property(SOURCE "${LUMO_GENERATED_DIR}/lumo.rc" APPEND PROPERTY
            OBJECT_DEPENDS ${LUMO_RESOURCE_FILES} "${LUMO_RESOURCES_DIR}/lumo.ico"
            "${LUMO_RESOURCES_DIR}/lumo.manifest")
        target_include_directories(${target} PRIVATE "${LUMO_RESOURCES_DIR}")
    else()
        target_link_libraries(${target} PRIVATE lumo_resources)
    endif()
endfunction()

function(lumo_add_juce_app target)
    cmake_parse_arguments(ARG "" "OUTPUT_NAME" "SOURCES" ${ARGN})
    add_executable(${target} WIN32 ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE lumo_juce)
    lumo_warnings(${target})
    lumo_target_resources(${target})
    if(ARG_OUTPUT_NAME)
        set_target_properties(${target} PROPERTIES OUTPUT_NAME "${ARG_OUTPUT_NAME}")
    endif()
endfunction()
