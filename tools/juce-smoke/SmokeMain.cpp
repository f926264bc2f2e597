// Opens one borderless window that shows the program's background picture, a display line and
// a combo box, prints what it saw and quits after a few seconds (or "--quit-after=<ms>").
// Exit status 0 only if the picture was found and decoded at its expected size.
#include "SmokeResources.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>
#include <memory>

namespace
{

class SmokePanel : public juce::Component
{
public:
    SmokePanel()
    {
        const juce::MemoryBlock png = readProgramResource("background.png");
        background = juce::Drawable::createFromImageData(png.getData(), png.getSize());
        if (background != nullptr)
        {
            const auto bounds = background->getDrawableBounds();
            setSize(static_cast<int>(bounds.getWidth()), static_cast<int>(bounds.getHeight()));
        }
        else
        {
            setSize(365, 255);
        }

        display.setFont(juce::Font(juce::Font::getDefaultMonospacedFontName(), 120.0f,
                                   juce::Font::plain));
        display.setReadOnly(true);
        display.setColour(juce::TextEditor::textColourId, juce::Colour(0xFFFFBB00));
        display.setColour(juce::TextEditor::backgroundColourId, juce::Colour(0x00000000));
        display.setColour(juce::TextEditor::outlineColourId, juce::Colour(0x00000000));
        display.setText("VERSION", false);
        display.setBounds(21, 104, 600, 113);
        addAndMakeVisible(display);

        channel.addItem("OMNI", -1);
        channel.addItem("Channel 1", 1);
        channel.setSelectedId(-1, juce::dontSendNotification);
        channel.setColour(juce::ComboBox::textColourId, juce::Colour(0xFFFEFFB3));
        channel.setColour(juce::ComboBox::backgroundColourId, juce::Colour(0x00FFFFFF));
        channel.setColour(juce::ComboBox::outlineColourId, juce::Colour(0x00FFFFFF));
        channel.setColour(juce::ComboBox::buttonColourId, juce::Colour(0x00FFFFFF));
        channel.setColour(juce::ComboBox::arrowColourId, juce::Colour(0x00FFFFFF));
        channel.setBounds(540, 453, 110, 25);
        addAndMakeVisible(channel);
    }

    bool hasBackground() const { return background != nullptr; }

    void paint(juce::Graphics& g) override
    {
        if (background != nullptr)
            background->drawAt(g, 0.0f, 0.0f, 1.0f);
    }

private:
    std::unique_ptr<juce::Drawable> background;
    juce::TextEditor display;
    juce::ComboBox channel;
};

class SmokeWindow : public juce::DocumentWindow
{
public:
    SmokeWindow()
        : juce::DocumentWindow("LUMO smoke", juce::Colour(0xFF000000), 5, true)
    {
        setUsingNativeTitleBar(false);
        setTitleBarHeight(0);
        setDropShadowEnabled(false);
        setContentOwned(new SmokePanel(), true);
        centreWithSize(getWidth(), getHeight());
        setVisible(true);
    }

    void closeButtonPressed() override { juce::JUCEApplication::quit(); }
};

class SmokeApplication : public juce::JUCEApplication, private juce::Timer
{
public:
    const juce::String getApplicationName() override { return "LUMO smoke"; }
    const juce::String getApplicationVersion() override { return "1.1"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise(const juce::String& commandLine) override
    {
        int quitAfterMs = 3000;
        for (const auto& arg : juce::StringArray::fromTokens(commandLine, true))
            if (arg.startsWith("--quit-after="))
                quitAfterMs = arg.fromFirstOccurrenceOf("=", false, false).getIntValue();

        window = std::make_unique<SmokeWindow>();
        auto* panel = dynamic_cast<SmokePanel*>(window->getContentComponent());
        pictureOk = panel != nullptr && panel->hasBackground() && panel->getWidth() == 640
                    && panel->getHeight() == 494;
        std::printf("juce-smoke: window %dx%d at (%d, %d), background %s\n", window->getWidth(),
                    window->getHeight(), window->getX(), window->getY(),
                    pictureOk ? "640x494" : "MISSING");
        std::fflush(stdout);
        startTimer(quitAfterMs);
    }

    void shutdown() override
    {
        window.reset();
        std::printf("juce-smoke: %s\n", pictureOk ? "done" : "failed");
        std::fflush(stdout);
        setApplicationReturnValue(pictureOk ? 0 : 1);
    }

    void systemRequestedQuit() override { quit(); }
    void anotherInstanceStarted(const juce::String&) override {}

private:
    void timerCallback() override
    {
        stopTimer();
        quit();
    }

    std::unique_ptr<SmokeWindow> window;
    bool pictureOk = false;
};

} // namespace

START_JUCE_APPLICATION(SmokeApplication)
