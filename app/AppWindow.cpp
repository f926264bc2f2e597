#include "app/AppWindow.h"

#include "app/AppContentPanel.h"

AppWindow::AppWindow(const juce::String& title)
    : BWindow(title)
{
    setBackgroundColour(juce::Colour(kBackground));
}

BContentBase* AppWindow::createContent()
{
    return new AppContentPanel();
}
