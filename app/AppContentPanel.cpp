#include "app/AppContentPanel.h"

#include "app/AppPlatform.h"
#include "app/BWindow.h"
#include "app/protocol/DumpFile.h"
#include "base/AutoDelete.h"
#include "base/BPaths.h"
#include "base/BTimerManager.h"
#include "dialogs/JuceText.h"
#include "midi/MidiManager.h"
#include "midi/MidiManagerDev.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiRouter.h"

#include <cstdio>
#include <utility>

const char* const AppContentPanel::kProductUrl = "https://www.vantor-quorvel.com/lumo";
const char* const AppContentPanel::kMakerDomain = "www.vantor-quorvel.com";
const char* const AppContentPanel::kInputAlias = "MIDI Input";
const char* const AppContentPanel::kThruAlias = "MIDI Thru";
const char* const AppContentPanel::kNoFontText =
    "No font can be loaded: the display and the dialogs cannot show any text. Install the system's "
    "font configuration and a font (on Debian: fontconfig-config and fonts-dejavu-core).";

namespace
{
juce::Rectangle<int> area(const PlateLayout::Area& a)
{
    return { a.x, a.y, a.width, a.height };
}

constexpr juce::uint32 kTransparent = 0x00000000;
constexpr juce::uint32 kTransparentWhite = 0x00FFFFFF;
constexpr int kTooltipDelayMs = 1500;
constexpr int kOmniItemId = -1;
// juce::Button connected-edge flags left, right, top and bottom.
constexpr int kAllEdgesConnected = juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight
                                 | juce::Button::ConnectedOnTop | juce::Button::ConnectedOnBottom;
} // namespace

AppContentPanel::AppContentPanel()
    : AppContentPanel(settingsFilePath())
{
}

AppContentPanel::AppContentPanel(const BString& settingsPath_)
    : settingsFile(settingsPath_)
{
    portDialog.showInputs = true;
    portDialog.showOutputs = true;
    portDialog.onlyMarkedAliases = false;
    portDialog.reportError = [this](const BString& text) { errorReports.report(text); };
    // Brings the alias manager, and with it the MIDI manager, to life.
    TMidiAliasManager::getInstance();
}

AppContentPanel::~AppContentPanel()
{
    // The library's singletons (MIDI manager, timers...) go first, so that no MIDI or timer
    // callback reaches the panel while it is being dismantled.
    AutoDelete::deleteAll();
    if (keyWindow != nullptr && keyWindow == BWindow::getMainWindow())
        keyWindow->removeKeyListener(&zoomKeys);
    incoming.stop();
    displayFrames.cancel();
    cancelPendingUpdate();
}

// ---- content operations ----

void AppContentPanel::buildContent()
{
    BContentBase::buildContent();
    setSize(contentWidth, contentHeight);

    if (auto* window = BWindow::getMainWindow())
    {
        window->setTitleBarHeight(0);
        window->resized();
        window->repaint();
        // Keys the focused child leaves unused reach the window last.
        window->addKeyListener(&zoomKeys);
        keyWindow = window;
    }
    setWantsKeyboardFocus(true);

    linkArea1 = makeLinkArea(area(PlateLayout::kMakerLogoArea));
    linkArea2 = makeLinkArea(area(PlateLayout::kProductLogoArea));
    linkArea3 = makeLinkArea(area(PlateLayout::kTrademarkArea));

    topLine = makeDisplayLine(true, 95);
    bottomLine = makeDisplayLine(false, 208);
    setDisplayText(BString("VERSION"), BString("1.1"));

    deviceButton1 = makeOverlayButton({}, "Select MIDI device", area(PlateLayout::kThruArea));
    deviceButton2 = makeOverlayButton({}, "Select MIDI device", area(PlateLayout::kInArea));
    editButton = makeOverlayButton({}, "Edit Program Names", area(PlateLayout::kDisplayArea));
    closeButton = makeOverlayButton({}, "Close", area(PlateLayout::kCloseArea));
    editButton->setConnectedEdges(kAllEdgesConnected);
    editButton->repaint();

    auto combo = std::make_unique<juce::ComboBox>(juce::String());
    combo->setEditableText(false);
    combo->addItem("OMNI", kOmniItemId);
    for (int channel = 1; channel <= kChannelCount; ++channel)
        combo->addItem("Channel " + juce::String(channel), channel);
    combo->setBounds(area(PlateLayout::kChannelComboArea));
    combo->setSelectedId(combo->getItemId(0), juce::sendNotificationAsync);
    combo->setTooltip("Receive Channel");
    combo->setColour(juce::ComboBox::textColourId, juce::Colour(kControlTextColour));
    combo->setColour(juce::ComboBox::backgroundColourId, juce::Colour(kTransparentWhite));
    combo->setColour(juce::ComboBox::outlineColourId, juce::Colour(kTransparentWhite));
    combo->setColour(juce::ComboBox::buttonColourId, juce::Colour(kTransparentWhite));
    combo->setColour(juce::ComboBox::arrowColourId, juce::Colour(kTransparentWhite));
    combo->setLookAndFeel(&overlayComboLook);
    addAndMakeVisible(combo.get());
    combo->addListener(this);
    channelCombo = combo.get();
    ownedComponents.Add(combo.release());
}

bool AppContentPanel::initialise(const juce::String& commandLine)
{
    BContentBase::initialise(commandLine);
    loadSettings();

    // The port dialog is made ready now so that its first opening is quick.
    portDialog.setupWindow();
    portDialog.setContentOwned(portDialog.createContentComponent(), false);
    portDialog.sizeAndCentre();
    portDialog.offerDontAskAgain = false;

    // Without a single font the plate would come up with a dark display and captionless dialogs
    // and say nothing; the error box itself is blank then, so the text also goes to stderr.
    if (juce::Font::findAllTypefaceNames().isEmpty())
    {
        const BString text(kNoFontText);
        std::fprintf(stderr, "%s\n", text.CStr());
        errorReports.report(text);
    }

    // A dump that was asked for and silently missing would be found out only when it is needed.
    if (DumpFile::isRequested(JuceText::fromJuce(commandLine)) && !protocol.dumpFile().open())
    {
        const juce::File dump = juce::File::getCurrentWorkingDirectory().getChildFile(DumpFile::kDefaultFileName);
        errorReports.report(BString::Format("The dump file \"%s\" cannot be created; received messages are not "
                                            "recorded in this run.",
                                            JuceText::fromJuce(dump.getFullPathName()).CStr()));
    }

    return true;
}

void AppContentPanel::startMidi()
{
    MidiManager* manager = MidiManager::getInstance();
    manager->setDataListener(this);
    manager->addDeviceControlListener(this);
    manager->updateDevices(false, true);
    applyPortAliases();
    manager->addDeviceListListener(this);

    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    aliases->addListener(this);
    TMidiAlias* input = aliases->getAlias(kInputAlias, TMidiAlias::kInput, false, -1);
    TMidiAlias* thru = aliases->getAlias(kThruAlias, TMidiAlias::kOutput, false, -1);
    TMidiRouter::getInstance()->addRoute(thru, input);
    manager->start();

    auto prompt = std::make_unique<BTimer>(BString(), true);
    prompt->interval = kPromptDelayMs;
    prompt->periodic = false;
    prompt->listener = this;
    prompt->active = 1;
    BTimerManager::getInstance()->addTimer(prompt.release());   // the timer manager deletes it when done
}

void AppContentPanel::applyPortAliases()
{
    portBinding.apply();
}

void AppContentPanel::aliasesChanged()
{
    applyPortAliases();
}

void AppContentPanel::deviceListChanged()
{
    applyPortAliases();
}

void AppContentPanel::onTimer(BTimer*)
{
    // The timer thread holds the timer lock here, and the message thread may be waiting for it:
    // the check itself runs on the message thread.
    promptDueAt.store(++eventStamp);
    triggerAsyncUpdate();
}

void AppContentPanel::deviceStateChanged(int, bool)
{
    stateChangedAt.store(++eventStamp);
    triggerAsyncUpdate();
}

void AppContentPanel::deviceError(int, bool, const BString& text)
{
    errorReports.report(text);
}

bool AppContentPanel::inputDevicePresent()
{
    TMidiAliasManager* aliases = TMidiAliasManager::peekInstance();
    MidiManager* manager = MidiManager::peekInstance();
    if (aliases == nullptr || manager == nullptr)
        return false;
    TMidiAlias* input = aliases->getAlias(kInputAlias, TMidiAlias::kInput, false, -1);
    const BString device = input != nullptr ? input->deviceName() : BString();
    if (device.IsEmpty())
        return false;
    manager->ensureScanned();
    const MidiManagerDev* record = manager->getDevice(manager->findDeviceByName(device, true), true);
    return record != nullptr && record->present.load() != 0;
}

void AppContentPanel::showPromptUnlessChanged()
{
    // A message that arrived before the timer fired decides, even if the worker still has it.
    incoming.drain();
    applyPendingDisplay();
    if (getTopLineText() != "VERSION")
        return;   // the display has shown something else since the start
    if (inputDevicePresent())
        setDisplayText(BString(), BString());
    else
        setDisplayText(BString("SELECT"), BString("DEVICE"));
    applyPendingDisplay();
}

void AppContentPanel::clearPrompt()
{
    if (getTopLineText().trim() != "SELECT" || getBottomLineText().trim() != "DEVICE")
        return;
    {
        // Text decoded on the input's thread may be waiting for the next frame: it replaces the
        // prompt itself, and the blank must not replace it (the display message would be lost).
        const std::lock_guard<std::mutex> guard(pendingLock);
        if (pendingTopLine.isEmpty())
        {
            pendingTopLine = JuceText::toJuce(ModuleDisplay::shownTopLine(BString()));
            pendingBottomLine = juce::String();
            currentProgram.store(-1);
        }
    }
    applyPendingDisplay();
}

void AppContentPanel::shutdownContent()
{
    incoming.drain();   // what arrived before the exit is in the dump file
    protocol.dumpFile().close();
    saveSettings();
}

// ---- children ----

juce::HyperlinkButton* AppContentPanel::makeLinkArea(juce::Rectangle<int> bounds)
{
    auto link = std::make_unique<juce::HyperlinkButton>(" ", juce::URL(kProductUrl));
    link->setColour(juce::HyperlinkButton::textColourId, juce::Colour(kTransparentWhite));
    link->setBounds(bounds);
    link->setTooltip(kMakerDomain);
    link->setWantsKeyboardFocus(false);
    auto* result = link.get();
    ownedComponents.Add(link.release());
    addAndMakeVisible(result);
    return result;
}

juce::TextButton* AppContentPanel::makeOverlayButton(const juce::String& label, const juce::String& tooltip,
                                                     juce::Rectangle<int> bounds)
{
    auto button = std::make_unique<juce::TextButton>(juce::String(), tooltip);
    auto* result = button.get();
    ownedComponents.Add(button.release());

    result->setButtonText(label);
    result->setBounds(bounds);
    result->setLookAndFeel(&overlayButtonLook);
    result->setWantsKeyboardFocus(false);   // the panel keeps the keys (zoom shortcuts)
    result->setColour(juce::TextButton::buttonColourId, juce::Colour(kTransparentWhite));
    result->setColour(juce::TextButton::buttonOnColourId, juce::Colour(kTransparentWhite));
    // The toolkit's look draws button outlines in the combo-box outline colour.
    result->setColour(juce::ComboBox::outlineColourId, juce::Colour(kTransparentWhite));
    const juce::Colour text(label.isNotEmpty() ? kControlTextColour : kTransparentWhite);
    result->setColour(juce::TextButton::textColourOffId, text);
    result->setColour(juce::TextButton::textColourOnId, text);
    addAndMakeVisible(result);
    result->addListener(this);
    return result;
}

juce::String AppContentPanel::chooseDisplayTypeface()
{
    for (const char* face : { "Courier Std", "Courier New" })
        if (AppPlatform::isFontFaceInstalled(face))
            return face;
    return juce::Font::getDefaultMonospacedFontName();
}

juce::TextEditor* AppContentPanel::makeDisplayLine(bool isTopLine, int base)
{
    auto editor = std::make_unique<juce::TextEditor>(juce::String(), 0);
    auto* line = editor.get();
    ownedComponents.Add(editor.release());

    static const juce::String face = chooseDisplayTypeface();
    juce::Font font(face, kDisplayFontHeight, juce::Font::plain);
    font.setHorizontalScale(1.0f);
    font.setExtraKerningFactor(0.0f);
    line->setFont(font);
    const int textWidth = juce::roundToInt(font.getStringWidthFloat("12345678"));

    line->setLookAndFeel(&displayLineLook);
    line->setReadOnly(true);
    line->setWantsKeyboardFocus(false);
    line->setMouseClickGrabsKeyboardFocus(false);
    line->setColour(juce::TextEditor::textColourId, juce::Colour(kDisplayTextColour));
    line->setColour(juce::TextEditor::backgroundColourId, juce::Colour(kTransparent));
    line->setColour(juce::TextEditor::outlineColourId, juce::Colour(kTransparent));
    line->setColour(juce::TextEditor::focusedOutlineColourId, juce::Colour(kTransparent));
    line->setColour(juce::TextEditor::shadowColourId, juce::Colour(kTransparent));

    int y = isTopLine ? base + 8 : base - 8;
    y += AppPlatform::hasModernTextMetrics() ? 1 : -4;
    line->setBounds((600 - textWidth) / 2 + 13, y, 600, 113);

    addAndMakeVisible(line);
    return line;
}

// ---- display ----

void AppContentPanel::setDisplayText(const BString& top, const BString& bottom)
{
    // Conversions (which allocate) happen outside the lock; only the exchange is inside it.
    juce::String newTop = JuceText::toJuce(ModuleDisplay::shownTopLine(top));
    juce::String newBottom = JuceText::toJuce(bottom);
    {
        const std::lock_guard<std::mutex> guard(pendingLock);
        std::swap(pendingTopLine, newTop);
        std::swap(pendingBottomLine, newBottom);
    }
    displayFrames.requestFrame();
    currentProgram.store(-1);
}

void AppContentPanel::programShown(int program)
{
    currentProgram.store(program);
    {
        const std::lock_guard<std::mutex> guard(pendingLock);
        if (pendingSelectionCount == kMaxPendingSelections)
        {
            pendingSelectionStart = (pendingSelectionStart + 1) % kMaxPendingSelections;
            --pendingSelectionCount;
        }
        pendingSelections[(pendingSelectionStart + pendingSelectionCount) % kMaxPendingSelections] = program;
        ++pendingSelectionCount;
    }
    displayFrames.requestFrame();
}

void AppContentPanel::showProgram(int program)
{
    protocol.showProgram(program);
}

void AppContentPanel::midiDataReceived(int, std::int64_t, const unsigned char* data, int length, int*)
{
    incoming.push(data, length);
}

void AppContentPanel::reportLostMessages(std::uint64_t lost)
{
    errorReports.report(BString::Format("Incoming MIDI messages arrived faster than they could be shown and "
                                        "recorded: %lu were lost (the dump file misses them).",
                                        static_cast<unsigned long>(lost)));
}

void AppContentPanel::handleAsyncUpdate()
{
    applyPendingDisplay();

    const std::uint32_t prompt = promptDueAt.exchange(0);
    const std::uint32_t stateChange = stateChangedAt.exchange(0);
    // A state change that came before the prompt timer fired found no prompt to clear.
    const bool stateChangeFirst = stateChange != 0 && (prompt == 0 || stateChange < prompt);
    if (stateChangeFirst)
        clearPrompt();
    if (prompt != 0)
        showPromptUnlessChanged();
    if (stateChange != 0 && ! stateChangeFirst)
        clearPrompt();
}

void AppContentPanel::applyPendingDisplay()
{
    juce::String top;
    juce::String bottom;
    int selections[kMaxPendingSelections];
    int selectionCount = 0;
    {
        const std::lock_guard<std::mutex> guard(pendingLock);
        std::swap(top, pendingTopLine);
        std::swap(bottom, pendingBottomLine);
        for (; selectionCount < pendingSelectionCount; ++selectionCount)
            selections[selectionCount] = pendingSelections[(pendingSelectionStart + selectionCount) % kMaxPendingSelections];
        pendingSelectionStart = 0;
        pendingSelectionCount = 0;
    }

    if (top.isNotEmpty() && topLine != nullptr && bottomLine != nullptr)
    {
        topLine->setText(top, false);
        bottomLine->setText(bottom, false);
        ++displayUpdates;
    }

    for (int i = 0; i < selectionCount; ++i)
        programEditor.selectProgram(selections[i]);
}

juce::String AppContentPanel::getTopLineText() const
{
    return topLine != nullptr ? topLine->getText() : juce::String();
}

juce::String AppContentPanel::getBottomLineText() const
{
    return bottomLine != nullptr ? bottomLine->getText() : juce::String();
}

// ---- user actions ----

void AppContentPanel::buttonClicked(juce::Button* button)
{
    if (button == deviceButton1 || button == deviceButton2)
    {
        openPortSettings();
    }
    else if (button == editButton)
    {
        programEditor.showDialog(true);
        // The editor may just have renamed the program on the display.
        showProgram(currentProgram.load());
    }
    else if (button == closeButton)
    {
        juce::JUCEApplicationBase::quit();
    }
}

void AppContentPanel::openPortSettings()
{
    portDialog.showDialog(true);
    portDialogClosed();
}

void AppContentPanel::portDialogClosed()
{
    // Choices made in the dialog arrive as aliasesChanged; the list is brought up to date too,
    // and a bound device that is present but closed (it failed to open, or its driver dropped
    // it) is opened even when nothing was changed.
    if (MidiManager* manager = MidiManager::peekInstance())
        manager->updateDevices(true, true);
    applyPortAliases();
}

void AppContentPanel::comboBoxChanged(juce::ComboBox* combo)
{
    const int id = combo->getSelectedId();
    protocol.setReceiveChannel(id > 0 ? id - 1 : ModuleProtocol::kOmni);
}

// ---- tooltip window ----

std::unique_ptr<juce::TooltipWindow> AppContentPanel::makeTooltipWindow()
{
    auto window = std::make_unique<TooltipWindowHeightCorrected>();
    window->setMillisecondsBeforeTipAppears(kTooltipDelayMs);
    return window;
}

void AppContentPanel::TooltipWindowHeightCorrected::resized()
{
    juce::TooltipWindow::resized();
    if (getHeight() < kMinHeight)
        setBounds(getX(), getY(), getWidth(), kMinHeight);
}

// ---- receive channel box over the picture ----

void AppContentPanel::OverlayComboLook::drawComboBox(juce::Graphics& g, int width, int height, bool,
                                                     int, int, int, int, juce::ComboBox& box)
{
    const juce::Rectangle<float> area(0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height));
    g.setColour(box.findColour(juce::ComboBox::backgroundColourId));
    g.fillRoundedRectangle(area, 3.0f);
    g.setColour(box.findColour(juce::ComboBox::outlineColourId));
    g.drawRoundedRectangle(area.reduced(0.5f), 3.0f, 1.0f);

    const juce::Rectangle<int> arrowZone(width - 30, 0, 20, height);
    juce::Path arrow;
    arrow.startNewSubPath(static_cast<float>(arrowZone.getX()) + 3.0f, static_cast<float>(arrowZone.getCentreY()) - 2.0f);
    arrow.lineTo(static_cast<float>(arrowZone.getCentreX()), static_cast<float>(arrowZone.getCentreY()) + 3.0f);
    arrow.lineTo(static_cast<float>(arrowZone.getRight()) - 3.0f, static_cast<float>(arrowZone.getCentreY()) - 2.0f);
    g.setColour(box.findColour(juce::ComboBox::arrowColourId));
    g.strokePath(arrow, juce::PathStrokeType(2.0f));
}
