# JUCE on Linux (included by LumoJuce.cmake): Debian's modules, with juce_events and
# juce_gui_basics compiled from patched copies in the build tree, so that the idle program sleeps
# and a flood of display updates costs no more than painting them.
#
# The window patch: every Linux window runs a refresh timer at the display's rate (100 Hz where the
# display reports none, as on a virtual display or over VNC) for as long as it exists, only to
# find nothing to paint. The idle program then woke hundreds of times a second. The patched
# window lets that timer sleep once nothing is left to paint and no paint is in flight: one more
# tick a little over 3 s later releases the back buffer (as the toolkit does 3 s after the last
# paint), then it stops. The next repaint, or a change of the window's display, starts it again.
# A window with vblank listeners (VBlankAttachment; none in this program) keeps it running.
#
# Only a .cpp file that the module's own unity file includes changes, so the module's headers,
# which the rest of the program takes from Debian's folder, are the same on both sides.
include_guard(GLOBAL)
include(LumoJucePatch)

lumo_juce_patch("juce_gui_basics/native/juce_linux_Windowing.cpp"
"    void repaint (const Rectangle<int>& area) override
    {
        if (repainter != nullptr)
            repainter->repaint (area.getIntersection (bounds.withZeroOrigin()));
    }"
"    void repaint (const Rectangle<int>& area) override
    {
        if (repainter != nullptr)
        {
            repainter->repaint (area.getIntersection (bounds.withZeroOrigin()));

            if (vBlankSleeping)
                updateVBlankTimer();
        }
    }")
lumo_juce_patch("juce_gui_basics/native/juce_linux_Windowing.cpp"
"        if (repainter != nullptr)
            repainter->dispatchDeferredRepaints();
    }"
"        if (repainter != nullptr)
        {
            repainter->dispatchDeferredRepaints();

            if (vBlankListeners.isEmpty() && repainter->hasNothingToPaint())
            {
                // One more tick once the back buffer may be released, then none.
                if (repainter->holdsImage())
                {
                    if (! vBlankSleeping)
                        vBlankManager.startTimer (3100);
                }
                else
                {
                    vBlankManager.stopTimer();
                }

                vBlankSleeping = true;
            }
        }
    }")
lumo_juce_patch("juce_gui_basics/native/juce_linux_Windowing.cpp"
"            if (vBlankManager.getTimerInterval() != frequencyToUse)
                vBlankManager.startTimerHz (frequencyToUse);"
"            if (vBlankSleeping || vBlankManager.getTimerInterval() != frequencyToUse)
            {
                vBlankSleeping = false;
                vBlankManager.startTimerHz (frequencyToUse);
            }")
lumo_juce_patch("juce_gui_basics/native/juce_linux_Windowing.cpp"
"    LinuxVBlankManager vBlankManager { [this]() { onVBlank(); } };
"
"    LinuxVBlankManager vBlankManager { [this]() { onVBlank(); } };
    bool vBlankSleeping = false;
")
lumo_juce_patch("juce_gui_basics/native/juce_linux_Windowing.cpp"
"        void repaint (Rectangle<int> area)
        {
            regionsNeedingRepaint.add (area * peer.currentScaleFactor);
        }
"
"        void repaint (Rectangle<int> area)
        {
            regionsNeedingRepaint.add (area * peer.currentScaleFactor);
        }

        bool hasNothingToPaint()
        {
            return regionsNeedingRepaint.isEmpty()
                && XWindowSystem::getInstance()->getNumPaintsPendingForWindow (peer.windowH) == 0;
        }

        bool holdsImage() const     { return ! image.isNull(); }
")

# Before painting, every window cleared the region to repaint in its back buffer to transparent,
# only for an opaque window (one that is not semi-transparent) to paint every pixel of it again:
# a pass over the region in each frame, up to once a refresh while the display's text changes.
lumo_juce_patch("juce_gui_basics/native/juce_linux_Windowing.cpp"
"                if (XWindowSystem::getInstance()->canUseARGBImages())
                    for (auto& i : originalRepaintRegion)"
"                if (isSemiTransparentWindow && XWindowSystem::getInstance()->canUseARGBImages())
                    for (auto& i : originalRepaintRegion)")

include(LumoJuceIdlePatches)

set(LUMO_JUCE_PATCHED_DIR "${CMAKE_BINARY_DIR}/juce-modules-patched")
lumo_juce_patched_copy("${JUCE_MODULES_DIR}" "${LUMO_JUCE_PATCHED_DIR}" juce_events juce_gui_basics)
# The module targets are Debian's; only the sources they compile change.
foreach(_lumo_module IN ITEMS juce_events juce_gui_basics)
    get_target_property(_lumo_sources ${_lumo_module} INTERFACE_SOURCES)
    list(TRANSFORM _lumo_sources REPLACE "^${JUCE_MODULES_DIR}/${_lumo_module}/"
        "${LUMO_JUCE_PATCHED_DIR}/${_lumo_module}/")
    set_target_properties(${_lumo_module} PROPERTIES INTERFACE_SOURCES "${_lumo_sources}")
endforeach()
