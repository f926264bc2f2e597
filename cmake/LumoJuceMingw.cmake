# JUCE for the 32-bit MinGW build (included by LumoJuce.cmake).
#
# Debian's JUCE modules need three source fixes to build and run with i686 MinGW, and the image
# loaders need static libpng and libjpeg, which Debian does not ship for MinGW. At configure time
# this file
#   1. copies the modules we use into the build tree and patches the copy (the originals stay
#      untouched); a patch that no longer applies stops the configure step,
#   2. builds libpng and libjpeg-turbo from Debian's sources (scripts/build-mingw-deps.sh),
#   3. declares the JUCE module targets on the patched copy with JUCE's own module support.
# Both steps 1 and 2 leave a stamp and are skipped on the next configure while it still matches.
include_guard(GLOBAL)

set(LUMO_JUCE_SOURCE_MODULES_DIR "/usr/share/juce/modules" CACHE PATH
    "JUCE modules to copy and patch for the MinGW build")
file(GLOB _lumo_juce_cmake_dirs "/usr/lib/*/cmake/JUCE-7.0.5")
list(GET _lumo_juce_cmake_dirs 0 _lumo_juce_cmake_default)
set(LUMO_JUCE_CMAKE_DIR "${_lumo_juce_cmake_default}" CACHE PATH
    "Directory of JUCE's CMake support files (JUCEModuleSupport.cmake)")
if(NOT EXISTS "${LUMO_JUCE_CMAKE_DIR}/JUCEModuleSupport.cmake")
    message(FATAL_ERROR "JUCE's CMake support not found (LUMO_JUCE_CMAKE_DIR=${LUMO_JUCE_CMAKE_DIR}); "
        "install juce-modules-source")
endif()

set(LUMO_JUCE_MODULES_DIR "${CMAKE_BINARY_DIR}/juce-modules-patched")
set(LUMO_MINGW_DEPS_PREFIX "${CMAKE_BINARY_DIR}/mingw-deps/install")

# ---- 1. patched copy of the modules ----

include(LumoJucePatch)

# 32-bit MinGW has no __uuidof; JUCE's stand-in names the argument as a type, but JUCE also
# passes expressions to it.
lumo_juce_patch("juce_core/native/juce_win32_ComSmartPtr.h"
    "#define __uuidof(x)  UUIDGetter<x>::get()"
    "#define __uuidof(x)  UUIDGetter<__typeof__(x)>::get()")
# For interfaces JUCE does not declare itself (DXGI, Direct2D) the stand-in returned GUID_NULL, so
# CreateDXGIFactory failed and JUCE crashed while creating its first window. MinGW's headers
# know those GUIDs.
lumo_juce_patch("juce_core/native/juce_win32_ComSmartPtr.h"
    "template <typename Type> struct UUIDGetter { static CLSID get() { jassertfalse; return {}; } };"
    "template <typename Type> struct UUIDGetter { static CLSID get() { return __mingw_uuidof<Type>(); } };")
# jpeglib.h is included inside a namespace and takes `boolean` from the Windows headers, which
# declare it in the global namespace.
lumo_juce_patch("juce_graphics/image_formats/juce_JPEGLoader.cpp"
    "    #include <jpeglib.h>\n"
    "    #include <jpeglib.h>\n    using ::boolean;\n")

# Windows windows hand their repaints to the system at the display's vertical blank, which a
# thread per monitor waits for (IDXGIOutput::WaitForVBlank). Wine answers that wait at once (or
# fails it, depending on version and display): the thread then spun, waking the idle program
# some 1,600 times a second and its message thread 700 times, or repaints stalled. Under Wine,
# detected at run time by ntdll's wine_get_version, no such thread is started and a repaint is
# handed to the system at once, as the toolkit did before it paced repaints.
lumo_juce_patch("juce_gui_basics/native/juce_win32_Windowing.cpp"
"class VBlankDispatcher : public DeletedAtShutdown
{
public:
    void updateDisplay (VBlankListener& listener, HMONITOR monitor)
    {
"
"static bool lumoRunningUnderWine()
{
    static const bool underWine = [] {
        auto* ntdll = GetModuleHandleW (L\"ntdll.dll\");
        return ntdll != nullptr && GetProcAddress (ntdll, \"wine_get_version\") != nullptr;
    }();
    return underWine;
}

class VBlankDispatcher : public DeletedAtShutdown
{
public:
    void updateDisplay (VBlankListener& listener, HMONITOR monitor)
    {
        if (lumoRunningUnderWine())
            return;

")
lumo_juce_patch("juce_gui_basics/native/juce_win32_Windowing.cpp"
"        deferredRepaints.add ((area.toDouble() * getPlatformScaleFactor()).getSmallestIntegerContainer());
    }"
"        deferredRepaints.add ((area.toDouble() * getPlatformScaleFactor()).getSmallestIntegerContainer());

        if (lumoRunningUnderWine())
            dispatchDeferredRepaints();
    }")

# The pointer leaving a window was reported at the position of the leave message, which under
# Wine is the last one Wine saw inside the window when the pointer left for a place outside Wine's
# windows: the toolkit then never told the components of the exit, and the tooltip window kept
# polling the pointer eight times a second while the program idled. The system's cursor position
# is where the pointer really is (on Windows the same place, outside the window).
lumo_juce_patch("juce_gui_basics/native/juce_win32_Windowing.cpp"
"        isMouseOver = false;

        if (! areOtherTouchSourcesActive())
            doMouseEvent (getCurrentMousePos(), MouseInputSource::defaultPressure);"
"        isMouseOver = false;

        if (! areOtherTouchSourcesActive())
        {
            POINT cursor;
            const auto position = GetCursorPos (&cursor)
                ? globalToLocal (convertPhysicalScreenPointToLogical (pointFromPOINT (cursor), hwnd).toFloat())
                : getCurrentMousePos();
            doMouseEvent (position, MouseInputSource::defaultPressure);
        }")

include(LumoJuceIdlePatches)

lumo_juce_patched_copy("${LUMO_JUCE_SOURCE_MODULES_DIR}" "${LUMO_JUCE_MODULES_DIR}" ${LUMO_JUCE_MODULES})

# ---- 2. static libpng and libjpeg ----

message(STATUS "Checking the MinGW image libraries in ${LUMO_MINGW_DEPS_PREFIX}")
execute_process(
    COMMAND "${PROJECT_SOURCE_DIR}/scripts/build-mingw-deps.sh"
        "${CMAKE_BINARY_DIR}/mingw-deps/work" "${LUMO_MINGW_DEPS_PREFIX}" "${CMAKE_TOOLCHAIN_FILE}"
    RESULT_VARIABLE _lumo_deps_result)
if(NOT _lumo_deps_result EQUAL 0)
    message(FATAL_ERROR "Building libpng/libjpeg for MinGW failed (see ${CMAKE_BINARY_DIR}/mingw-deps/work)")
endif()

# ---- 3. module targets on the patched copy ----

include("${LUMO_JUCE_CMAKE_DIR}/JUCEModuleSupport.cmake")
foreach(module IN LISTS LUMO_JUCE_MODULES)
    juce_add_module("${LUMO_JUCE_MODULES_DIR}/${module}" ALIAS_NAMESPACE juce)
endforeach()

function(lumo_juce_mingw_configure target)
    # JUCE's Windows code relies on conversions that 32-bit MinGW's g++ rejects by default.
    target_compile_options(${target} PRIVATE -fpermissive -w)
    target_include_directories(${target} PRIVATE "${LUMO_MINGW_DEPS_PREFIX}/include")
    # Order matters for static linking: libpng needs zlib.
    target_link_libraries(${target} PUBLIC
        "${LUMO_MINGW_DEPS_PREFIX}/lib/libpng16.a"
        "${LUMO_MINGW_DEPS_PREFIX}/lib/libjpeg.a"
        z)
endfunction()
