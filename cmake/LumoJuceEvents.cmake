# The toolkit's core and event loop alone, for builds that leave the GUI out (the sanitizer
# builds): the message-thread hand-over of the dialogs is tested there with the real event loop.
#
#   lumo_juce_events    juce_core and juce_events with the program's JUCE configuration
include_guard(GLOBAL)
include(LumoJuceConfig)

find_package(JUCE 7.0.5 CONFIG REQUIRED)
# The same patched timer thread as the program's.
include(LumoJuceLinux)

add_library(lumo_juce_events STATIC)
target_link_libraries(lumo_juce_events PRIVATE juce::juce_core juce::juce_events)
lumo_juce_configuration(lumo_juce_events "${JUCE_MODULES_DIR}")
