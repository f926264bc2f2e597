# Patches of JUCE that let an idle program sleep on every platform (included by LumoJuceLinux.cmake
# and LumoJuceMingw.cmake, which register their own platform's patches beside these).
include_guard(GLOBAL)
include(LumoJucePatch)

# The timer thread woke every 100 ms even with no timer due, to keep the approximate millisecond
# counter fresh. Adding a timer, or moving one forward, wakes the thread anyway, so it can sleep
# until its first timer is due; with none it wakes once a second. While any timer runs more often
# (a shown tooltip's), the counter stays as fresh as before.
lumo_juce_patch("juce_events/timers/juce_Timer.cpp"
    "            wait (jlimit (1, 100, timeUntilFirstTimer));"
    "            wait (jlimit (1, 1000, timeUntilFirstTimer));")

# Any global mouse listener (every TextEditor has one, for its clicks) kept the desktop asking
# the system for the pointer position ten times a second, to fake moves outside the program's
# windows. The patched poll stops once the pointer rests; any pointer event in one of the
# program's windows (its leaving one included) starts it again.
lumo_juce_patch("juce_gui_basics/desktop/juce_Desktop.cpp"
"    if (lastFakeMouseMove != getMousePositionFloat())
        sendMouseMove();
}"
"    if (lastFakeMouseMove != getMousePositionFloat())
        sendMouseMove();
    else
        stopTimer();
}")
