#pragma once

#include "app/BWindow.h"

// The utility's main window; its content is the main panel.
class AppWindow : public BWindow
{
public:
    static constexpr juce::uint32 kBackground = 0xFFF0F0F0;

    explicit AppWindow(const juce::String& title);

    // A new AppContentPanel.
    BContentBase* createContent() override;
};
