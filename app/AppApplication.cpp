#include "app/AppApplication.h"

#include "app/AppWindow.h"

AppApplication::AppApplication() = default;
AppApplication::~AppApplication() = default;

void AppApplication::initialise(const juce::String& commandLine)
{
    mainWindow = std::make_unique<AppWindow>(getApplicationName());
    mainWindow->setBackgroundColour(juce::Colour(AppWindow::kBackground));
    mainWindow->createAndShowContent(commandLine, true, true);
}

void AppApplication::shutdown()
{
    mainWindow.reset();
}

void AppApplication::anotherInstanceStarted(const juce::String& commandLine)
{
    if (mainWindow != nullptr)
        mainWindow->commandLineFromOtherInstance(commandLine);
}
