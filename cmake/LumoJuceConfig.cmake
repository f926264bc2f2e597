# The JUCE configuration shared by every library of JUCE module code and all their users.
#
#   lumo_juce_configuration(target modules_dir)
#       gives `target` (a static library that compiles JUCE modules) the program's JUCE switches,
#       passes them and the modules' own definitions on to its users, and exposes the module
#       headers as system headers (our warning flags do not fire on JUCE's code)
include_guard(GLOBAL)

function(lumo_juce_configuration target modules_dir)
    # One JUCE configuration for the module code and for every user of it: JUCE's classes change
    # layout with some of these switches, so they must never differ between the two.
    target_compile_definitions(${target} PUBLIC
        JUCE_STANDALONE_APPLICATION=1
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_LOAD_CURL_SYMBOLS_LAZILY=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        # The dialogs and the error box run modal loops.
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_STRICT_REFCOUNTEDPOINTER=1)
    # The module targets' own definitions (module availability, debug/release, platform) must
    # reach the users as well.
    target_compile_definitions(${target} INTERFACE
        $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)
    target_include_directories(${target} SYSTEM INTERFACE "${modules_dir}")
    target_compile_features(${target} PUBLIC cxx_std_17)
    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        VISIBILITY_INLINES_HIDDEN ON
        C_VISIBILITY_PRESET hidden
        CXX_VISIBILITY_PRESET hidden)
endfunction()
