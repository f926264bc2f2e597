# The toolkit's core and event loop alone, for builds that leave the GUI out (the sanitizer
# builds): the message-thread hand-over of the dialogs is tested there with the real event loop.
#
#   lumo_juce_events    juce_core and juce_events with the program's JUCE configuration
include_guard(GLOBAL)

find_package(JUCE 7.0.5 CONFIG REQUIRED)

add_library(lumo_juce_events STATIC)
target_link_libraries(lumo_juce_events PRIVATE juce::juce_core juce::juce_events)
target_compile_definitions(lumo_juce_events PUBLIC
    JUCE_STANDALONE_APPLICATION=1
    JUCE_USE_CURL=0
    JUCE_LOAD_CURL_SYMBOLS_LAZILY=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_STRICT_REFCOUNTEDPOINTER=1)
target_compile_definitions(lumo_juce_events INTERFACE
    $<TARGET_PROPERTY:lumo_juce_events,COMPILE_DEFINITIONS>)
target_include_directories(lumo_juce_events SYSTEM INTERFACE "${JUCE_MODULES_DIR}")
target_compile_features(lumo_juce_events PUBLIC cxx_std_17)
set_target_properties(lumo_juce_events PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    VISIBILITY_INLINES_HIDDEN ON
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden)
