// The main panel's MIDI side through the virtual backend: the two aliases open exactly their
// devices, everything received goes through unchanged, the prompt, and the error boxes.
#include "MidiGuiFixture.h"
#include "PanelTestSupport.h"

#include "base/TIniFile.h"
#include "midi/MidiManagerDev.h"
#include "midi/TMidiAlias.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace PanelTestSupport;
using JuceTestSupport::pumpUntil;

namespace
{
class PanelMidiTest : public MidiGuiFixture
{
protected:
    void SetUp() override
    {
        MidiGuiFixture::SetUp();
        keysA = factory->addPort(true, "Keys A");
        keysB = factory->addPort(true, "Keys B");
        synth = factory->addPort(false, "Synth X");
        other = factory->addPort(false, "Other Out");
    }

    void TearDown() override
    {
        panel.reset();
        MidiGuiFixture::TearDown();
    }

    juce::File settingsFile() const { return temp.file("settings.qrcf"); }

    void writeSettings(const std::string& text) { settingsFile().replaceWithText(text); }

    // A panel as the window makes it, its errors recorded instead of shown, MIDI started.
    void start(bool startMidi = true)
    {
        panel = std::make_unique<AppContentPanel>(BString(settingsFile().getFullPathName().toRawUTF8()));
        panel->getErrorReports().setPresenter([this](const BString& text, std::function<void()> closed) {
            shownErrors.push_back(text.CStr());
            closeError = std::move(closed);
        });
        panel->buildContent();
        panel->initialise({});
        MidiManager::getInstance()->addFactory(factory);
        if (startMidi)
            panel->startMidi();
    }

    bool inputOpen(const char* name) { return isOpen(name, true); }
    bool outputOpen(const char* name) { return isOpen(name, false); }
    bool isOpen(const char* name, bool isInput)
    {
        MidiManagerDev* record = MidiManager::getInstance()->getDevice(recordOf(name, isInput), isInput);
        return record != nullptr && record->isDeviceOpen();
    }

    void bind(const char* aliasName, int direction, const char* device)
    {
        aliases().setAlias(aliasName, direction, aliasName, BString(device), false);
    }

    JuceTestSupport::TempFolder temp;
    std::unique_ptr<AppContentPanel> panel;
    std::vector<std::string> shownErrors;
    std::function<void()> closeError;
    int keysA = 0, keysB = 0, synth = 0, other = 0;
};

TEST_F(PanelMidiTest, StoredAliasesOpenExactlyTheirTwoDevices)
{
    writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys B\nName1=MIDI Thru\nDevice1=2:Synth X\n");
    start();
    EXPECT_TRUE(inputOpen("Keys B"));
    EXPECT_FALSE(inputOpen("Keys A"));
    EXPECT_TRUE(outputOpen("Synth X"));
    EXPECT_FALSE(outputOpen("Other Out"));
}

TEST_F(PanelMidiTest, EverythingReceivedIsShownAndPassedThroughUnchanged)
{
    writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys A\nName1=MIDI Thru\nDevice1=2:Synth X\n");
    start();
    const auto display = displayMessage("HELLO", "THRU");
    std::thread driver([&] {
        EXPECT_EQ(factory->feedSysEx(keysA, display.data(), static_cast<int>(display.size())), 1);
        EXPECT_TRUE(factory->feedShort(keysA, 0x90, 60, 100));
    });
    driver.join();
    EXPECT_TRUE(displayShows(*panel, "HELLO   ", "THRU"));

    const auto sent = factory->sentTo(synth);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].bytes, display);
    EXPECT_EQ(sent[1].bytes, (std::vector<unsigned char> { 0x90, 60, 100 }));
    EXPECT_TRUE(factory->sentTo(other).empty());
}

TEST_F(PanelMidiTest, RebindingTheInputClosesThePreviousDeviceAndTheRouteFollows)
{
    writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys A\nName1=MIDI Thru\nDevice1=2:Synth X\n");
    start();
    bind("MIDI Input", TMidiAlias::kInput, "Keys B");
    EXPECT_FALSE(inputOpen("Keys A"));
    EXPECT_TRUE(inputOpen("Keys B"));

    EXPECT_FALSE(factory->feedShort(keysA, 0xB0, 1, 2));
    EXPECT_TRUE(factory->feedShort(keysB, 0xB0, 7, 100));
    const auto sent = factory->sentTo(synth);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, (std::vector<unsigned char> { 0xB0, 7, 100 }));
}

TEST_F(PanelMidiTest, AliasesAreSavedInTheirSectionAndKeepTheOtherSections)
{
    writeSettings("[Elsewhere]\nKey=Value\n");
    start();
    bind("MIDI Input", TMidiAlias::kInput, "Keys B");
    panel->shutdownContent();

    TIniFile file(BString(settingsFile().getFullPathName().toRawUTF8()));
    file.Load();
    EXPECT_EQ(file.ReadString("Elsewhere", "Key", BString()), "Value");
    bool found = false;
    for (int n = 0; n < 20; ++n)
    {
        const BString key = BString::Format("Name%d", n);
        if (file.ReadString(TMidiAlias::kSection, key, BString()) == "MIDI Input")
        {
            found = true;
            EXPECT_EQ(file.ReadString(TMidiAlias::kSection, BString::Format("Device%d", n), BString()), "1:Keys B");
        }
    }
    EXPECT_TRUE(found);
}

struct PromptCase
{
    const char* label;
    const char* inputDevice;   // bound to "MIDI Input"
    const char* top;
    const char* bottom;
};

class PanelPromptTest : public PanelMidiTest, public ::testing::WithParamInterface<PromptCase>
{
};

TEST_P(PanelPromptTest, TheTimerShowsThePromptOrBlanksTheDisplay)
{
    const PromptCase& c = GetParam();
    writeSettings(std::string("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:") + c.inputDevice + "\n");
    start();
    panel->onTimer(nullptr);   // as the prompt timer fires
    EXPECT_TRUE(displayShows(*panel, c.top, c.bottom));
}

INSTANTIATE_TEST_SUITE_P(InputState, PanelPromptTest, ::testing::Values(
    PromptCase { "present", "Keys A", " ", "" },
    PromptCase { "missing", "Not plugged in", "SELECT", "DEVICE" },
    PromptCase { "unbound", "", "SELECT", "DEVICE" }),
    [](const ::testing::TestParamInfo<PromptCase>& info) { return std::string(info.param.label); });

TEST_F(PanelMidiTest, TheRealPromptTimerFiresAboutFiveSecondsAfterStart)
{
    start();
    const auto started = juce::Time::getMillisecondCounter();
    ASSERT_TRUE(displayShows(*panel, "SELECT", "DEVICE", 20000));
    EXPECT_GE(juce::Time::getMillisecondCounter() - started, 4500u);
}

TEST_F(PanelMidiTest, AMessageBeforeTheTimerPreventsThePrompt)
{
    writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys A\n");
    start();
    factory->feedShort(keysA, 0xC0, 4);
    panel->onTimer(nullptr);
    EXPECT_TRUE(displayShows(*panel, "PROGRAM ", "005"));
    JuceTestSupport::pumpFor(50);
    EXPECT_EQ(panel->getTopLineText(), "PROGRAM ");
}

TEST_F(PanelMidiTest, ChoosingADeviceWhileThePromptShowsBlanksTheDisplay)
{
    start();
    panel->onTimer(nullptr);
    ASSERT_TRUE(displayShows(*panel, "SELECT", "DEVICE"));
    bind("MIDI Input", TMidiAlias::kInput, "Keys A");
    EXPECT_TRUE(displayShows(*panel, " ", ""));
}

TEST_F(PanelMidiTest, AStateChangeBeforeThePromptDoesNotClearIt)
{
    start();
    panel->deviceStateChanged(0, true);
    panel->onTimer(nullptr);
    ASSERT_TRUE(displayShows(*panel, "SELECT", "DEVICE"));
    JuceTestSupport::pumpFor(50);
    EXPECT_EQ(panel->getTopLineText(), "SELECT");
}

TEST_F(PanelMidiTest, ErrorsFromAnyThreadAreShownOneAtATimeInOrder)
{
    start();
    std::thread reporter([&] {
        for (int i = 1; i <= 3; ++i)
            panel->deviceError(-1, true, BString::Format("error %d", i));
    });
    reporter.join();
    ASSERT_TRUE(pumpUntil([&] { return shownErrors.size() == 1; }));
    JuceTestSupport::pumpFor(50);
    EXPECT_EQ(shownErrors, (std::vector<std::string> { "error 1" }));   // the next waits for this box

    for (std::size_t shown = 2; shown <= 3; ++shown)
    {
        auto close = std::move(closeError);
        close();
        ASSERT_TRUE(pumpUntil([&] { return shownErrors.size() == shown; }));
    }
    EXPECT_EQ(shownErrors, (std::vector<std::string> { "error 1", "error 2", "error 3" }));
}

TEST_F(PanelMidiTest, ABoundDeviceThatCannotBeOpenedShowsTheManagersText)
{
    factory->setOpenBehaviour(keysB, VirtualMidiFactory::OpenBehaviour::Throw);
    writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys B\n");
    start();
    ASSERT_TRUE(pumpUntil([&] { return ! shownErrors.empty(); }));
    EXPECT_EQ(shownErrors[0], VirtualMidiFactory::failureText("Keys B").CStr());
}

// The order users meet: the program starts, then the keyboard and the synth are switched on. The
// bindings come from a file as the user wrote it, or as a previous run saved it.
struct LateDeviceCase
{
    const char* name;
    bool savedByAPreviousRun;
};

class PanelLateDeviceTest : public PanelMidiTest, public ::testing::WithParamInterface<LateDeviceCase>
{
};

TEST_P(PanelLateDeviceTest, BoundDevicesThatAppearAfterTheStartAreOpened)
{
    if (GetParam().savedByAPreviousRun)
    {
        const int keys = factory->addPort(true, "Late Keys");
        const int synthLate = factory->addPort(false, "Late Synth");
        start();
        bind("MIDI Input", TMidiAlias::kInput, "Late Keys");
        bind("MIDI Thru", TMidiAlias::kOutput, "Late Synth");
        panel->shutdownContent();
        panel.reset();   // ends the MIDI singletons' lifetime with it
        AutoDelete::beginNewLifetime();
        factory = new VirtualMidiFactory();
        factory->setRescanOnChange(true);
        (void) keys;
        (void) synthLate;
    }
    else
    {
        writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Late Keys\nName1=MIDI Thru\nDevice1=2:Late Synth\n");
    }
    start();
    panel->onTimer(nullptr);
    ASSERT_TRUE(displayShows(*panel, "SELECT", "DEVICE"));

    const int keys = factory->addPort(true, "Late Keys");
    const int synthLate = factory->addPort(false, "Late Synth");
    std::thread notifier([] { MidiManager::getInstance()->updateDevices(true, true); });   // the timer thread's pass
    notifier.join();
    EXPECT_TRUE(inputOpen("Late Keys"));
    EXPECT_TRUE(outputOpen("Late Synth"));

    const auto display = displayMessage("LATE", "OPEN");
    EXPECT_EQ(factory->feedSysEx(keys, display.data(), static_cast<int>(display.size())), 1);
    EXPECT_TRUE(displayShows(*panel, "LATE    ", "OPEN"));
    const auto sent = factory->sentTo(synthLate);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, display);
}

TEST_F(PanelMidiTest, TextThatArrivesWhileThePromptIsClearedIsShownNotBlanked)
{
    start();
    panel->onTimer(nullptr);
    ASSERT_TRUE(displayShows(*panel, "SELECT", "DEVICE"));
    // A display message decoded on the input's thread waits for the next frame when a device
    // opening clears the prompt: the blank must not take its place.
    panel->setDisplayText("LATE", "OPEN");
    panel->clearPrompt();
    EXPECT_TRUE(displayShows(*panel, "LATE", "OPEN"));
}

INSTANTIATE_TEST_SUITE_P(Settings, PanelLateDeviceTest,
                         ::testing::Values(LateDeviceCase { "Fresh", false }, LateDeviceCase { "Saved", true }),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PanelMidiTest, ABoundInputUnpluggedWhileOtherBindingsChangeIsReopenedWhenItReturns)
{
    writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys A\nName1=MIDI Thru\nDevice1=2:Synth X\n");
    start();
    ASSERT_TRUE(inputOpen("Keys A"));
    MidiManager* manager = MidiManager::getInstance();

    ASSERT_TRUE(factory->removePort(keysA));
    manager->updateDevices(true, true);
    factory->addPort(true, "New Pad");                        // something else appears meanwhile
    manager->updateDevices(true, true);
    bind("MIDI Thru", TMidiAlias::kOutput, "Other Out");      // and the user rebinds the thru
    ASSERT_TRUE(outputOpen("Other Out"));

    const int replugged = factory->addPort(true, "Keys A");
    manager->updateDevices(true, true);
    EXPECT_TRUE(inputOpen("Keys A"));
    EXPECT_FALSE(inputOpen("New Pad"));
    EXPECT_TRUE(factory->feedShort(replugged, 0x90, 64, 1));
    EXPECT_EQ(factory->sentTo(other).size(), 1u);
}

TEST_F(PanelMidiTest, OkWithNothingChangedOpensABoundDeviceThatIsPresentButClosed)
{
    writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys A\n");
    start();
    MidiManager* manager = MidiManager::getInstance();
    const int keys = recordOf("Keys A", true);
    manager->closeInput(keys, false);   // its driver let it go
    ASSERT_FALSE(manager->getInput(keys)->isDeviceOpen());
    panel->portDialogClosed();
    EXPECT_TRUE(manager->getInput(keys)->isDeviceOpen());
}

TEST_F(PanelMidiTest, AFailedOkOfThePortDialogGoesToTheProgramsErrorBox)
{
    start();
    AliasChooserDialog& dialog = panel->getPortDialog();
    ASSERT_TRUE(dialog.reportError);
    dialog.reportError(BString("choices not applied"));
    ASSERT_TRUE(pumpUntil([&] { return ! shownErrors.empty(); }));   // through the one error box
    EXPECT_EQ(shownErrors[0], "choices not applied");
}

TEST_F(PanelMidiTest, AliasResolutionOnTheTimerThreadNeverClosesTheBoundInput)
{
    writeSettings("[MIDI.alias]\nName0=MIDI Input\nDevice0=1:Keys A\n");
    start();
    struct ClosedCount : MidiManagerDeviceControlListener
    {
        void deviceWillClose(int, bool isInput) override { closes += isInput ? 1 : 0; }
        std::atomic<int> closes { 0 };
    } closed;
    MidiManager* manager = MidiManager::getInstance();
    manager->addDeviceControlListener(&closed);
    // Every pass resolves the aliases from scratch; the panel reads the resolution meanwhile.
    std::atomic<bool> done { false };
    std::thread timerThread([&] {
        for (int i = 0; i < 300; ++i)
            manager->aliasesChanged();
        done = true;
    });
    while (! done)
        panel->applyPortAliases();
    timerThread.join();
    manager->removeDeviceControlListener(&closed);
    EXPECT_EQ(closed.closes.load(), 0);
    EXPECT_TRUE(inputOpen("Keys A"));
}

TEST_F(PanelMidiTest, OverlayButtonsStayInvisibleWhenHoveredOrPressed)
{
    start(false);
    for (juce::Button* button : { panel->getDeviceButton(0), panel->getDeviceButton(1), panel->getCloseButton(),
                                  panel->getEditButton() })
    {
        for (const auto state : { juce::Button::buttonOver, juce::Button::buttonDown })
        {
            const bool down = state == juce::Button::buttonDown;
            button->setState(state);
            const juce::Image image = button->createComponentSnapshot(button->getLocalBounds(), true, 1.0f);
            button->setState(juce::Button::buttonNormal);
            bool anyVisible = false;
            for (int y = 0; y < image.getHeight() && ! anyVisible; ++y)
                for (int x = 0; x < image.getWidth() && ! anyVisible; ++x)
                    anyVisible = image.getPixelAt(x, y).getAlpha() != 0;
            EXPECT_FALSE(anyVisible) << button->getTooltip() << (down ? " pressed" : " hovered");
        }
    }
}
} // namespace
