#pragma once

#include "app/BContentBase.h"
#include "app/DisplayFramePacer.h"
#include "app/ErrorReports.h"
#include "app/HoverTooltips.h"
#include "app/protocol/IncomingMessagePump.h"
#include "app/protocol/ModuleProtocol.h"
#include "app/PanelSettingsFile.h"
#include "app/PanelViewSettings.h"
#include "app/PlateLayout.h"
#include "app/protocol/ProgramNameTable.h"
#include "base/BList.h"
#include "base/BString.h"
#include "base/BTimer.h"
#include "dialogs/AliasChooserDialog.h"
#include "dialogs/ProgramEditorDialog.h"
#include "dialogs/ProgramNameStore.h"
#include "midi/MidiManagerListeners.h"
#include "midi/TMidiAliasBinding.h"
#include "midi/TMidiAliasChangeListener.h"
#include "midi/TMidiDeviceListListener.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <cstdint>
#include <mutex>

// The main window's content: a picture of the module's front plate with transparent controls over
// its painted buttons, the two-line amber display, the receive-channel selector, the Program
// Names editor, the program-name table and the panel's settings.
//
// Its MIDI side binds the alias "MIDI Input" to one input device and "MIDI Thru" to one output
// device, keeps exactly those two open and routes everything received on the first unchanged to
// the second (the MIDI manager does that on the input's own thread). The two device areas open
// the MIDI Port Settings dialog. Five seconds after startMidi the display asks for a device
// ("SELECT" / "DEVICE") if it still shows the start text and no input device is present.
//
// A bound device that is absent is opened when it appears: every change of the device list
// applies the two aliases again, as an alias change does.
//
// Threads: everything runs on the message thread except setDisplayText, showProgram and
// programShown, which any thread may call (normally the incoming-message worker and the timer
// thread); midiDataReceived, which runs on the MIDI driver's thread and only queues the message
// for the incoming-message worker (the driver's thread must not lock, allocate or wait); and the
// MIDI layer's notifications (aliasesChanged, deviceListChanged, onTimer, deviceStateChanged,
// deviceError), which arrive on whichever thread reports them, possibly with the MIDI manager's
// or the timer manager's lock held. None of those touches a component or waits for the message
// thread: they hand their work over to it. Not copyable.
class AppContentPanel : public BContentBase,
                        public juce::Button::Listener,
                        public juce::ComboBox::Listener,
                        public BTimer::Listener,
                        public TMidiAliasChangeListener,
                        public TMidiDeviceListListener,
                        public MidiManagerDataListener,
                        public MidiManagerDeviceControlListener,
                        public ModuleDisplay
{
public:
    static const char* const kProductUrl;
    static const char* const kMakerDomain;
    static constexpr juce::uint32 kDisplayTextColour = PlateLayout::kDisplayColour;
    static constexpr juce::uint32 kControlTextColour = PlateLayout::kLetteringColour;
    static constexpr float kDisplayFontHeight = 120.0f;
    static const char* const kInputAlias;    // "MIDI Input"
    static const char* const kThruAlias;     // "MIDI Thru"
    // Said on stderr and in the error box when the system offers no font at all.
    static const char* const kNoFontText;
    static constexpr int kPromptDelayMs = 5000;
    // Channels of the receive-channel box besides OMNI.
    static constexpr int kChannelCount = 16;

    // Settings in the program's settings file.
    AppContentPanel();
    // Settings in the given file (tests, other front ends).
    explicit AppContentPanel(const BString& settingsPath);
    ~AppContentPanel() override;

    // Content operations, message thread (see BContentBase).
    void buildContent() override;
    bool initialise(const juce::String& commandLine) override;
    void startMidi() override;
    void shutdownContent() override;

    // Any thread: hands the two lines to the display (latest pair wins); leaves the program state.
    void setDisplayText(const BString& top, const BString& bottom) override;
    // Any thread: the display shows `program`; the editor follows it on the message thread, in
    // the order the programs were shown.
    void programShown(int program) override;
    // Any thread: shows the name of `program` (0..127) and makes it current.
    void showProgram(int program);
    // MIDI input thread: queues one incoming message for the worker, which dumps and decodes it.
    void midiDataReceived(int inputIndex, std::int64_t timestamp, const unsigned char* data,
                          int length, int* handled) override;

    // Message thread: the settings passes at start and at exit.
    void loadSettings();
    void saveSettings();

    // Opens the device "MIDI Thru" names and closes every other output, then the same for
    // "MIDI Input" and the inputs. Any control thread.
    void applyPortAliases();
    // TMidiAliasChangeListener: applyPortAliases.
    void aliasesChanged() override;
    // Message thread, after the port dialog closed: rescans and applies the aliases again, so
    // that OK opens a bound device that is present but closed even when nothing was changed.
    void portDialogClosed();
    // TMidiDeviceListListener: applyPortAliases, so that a bound device that just appeared opens.
    void deviceListChanged() override;
    // Message thread: blanks the display if it shows the SELECT / DEVICE prompt (a device was
    // opened or closed).
    void clearPrompt();
    // Returns once every message received so far has been dumped and decoded (tests, shutdown).
    void drainIncoming() { incoming.drain(); }
    // BTimer::Listener: the prompt timer (timer thread); the check runs on the message thread.
    void onTimer(BTimer* timer) override;
    // MidiManagerDeviceControlListener, any thread: a device was opened or closed (clears the
    // prompt), or an error to show in the error box.
    void deviceStateChanged(int index, bool isInput) override;
    void deviceError(int index, bool isInput, const BString& text) override;

    void buttonClicked(juce::Button* button) override;
    void comboBoxChanged(juce::ComboBox* combo) override;
    void handleAsyncUpdate() override;

    // The view the user chose, message thread. The zoom scales the plate and every child with it
    // (hit areas, display text, channel box, tooltips) and resizes the window; it is one of
    // PanelViewSettings::kZoomSteps. Both are stored at exit.
    int getZoomPercent() const noexcept { return view.zoomPercent; }
    void setZoomPercent(int percent);
    bool isKeptInFront() const noexcept { return view.alwaysOnTop; }
    void setKeptInFront(bool inFront);
    // The plate's context menu: the zoom steps (the current one ticked) and "Always on top".
    juce::PopupMenu makeViewMenu();
    static constexpr int kMenuOnTopId = 1000;   // zoom items have their percentage as id
    void menuItemChosen(int itemId);

    // A right click on the plate opens the view menu; Ctrl + "+", "-", "0" and Ctrl + wheel zoom.
    void mouseDown(const juce::MouseEvent& event) override;
    void mouseWheelMove(const juce::MouseEvent& event, const juce::MouseWheelDetails& wheel) override;
    bool keyPressed(const juce::KeyPress& key) override;

    // State, for the window and the tests. Message thread unless said otherwise.
    juce::String getTopLineText() const;
    juce::String getBottomLineText() const;
    int getReceiveChannel() const noexcept { return protocol.getReceiveChannel(); }   // any thread
    int getCurrentProgram() const noexcept { return currentProgram.load(); }           // any thread
    ProgramNameTable& getProgramNames() noexcept { return programNames; }
    ProgramEditorDialog& getProgramEditor() noexcept { return programEditor; }
    AliasChooserDialog& getPortDialog() noexcept { return portDialog; }
    ErrorReports& getErrorReports() noexcept { return errorReports; }
    // Number of times the display's text fields were written (message thread).
    int getDisplayUpdateCount() const noexcept { return displayUpdates; }
    // The tooltip window, which exists only while the pointer is over the panel.
    juce::TooltipWindow* getTooltipWindow() const noexcept { return tooltips.getWindow(); }
    juce::ComboBox* getChannelCombo() const noexcept { return channelCombo; }
    juce::TextEditor* getTopLine() const noexcept { return topLine; }
    juce::TextEditor* getBottomLine() const noexcept { return bottomLine; }
    juce::Button* getEditButton() const noexcept { return editButton; }
    juce::Button* getCloseButton() const noexcept { return closeButton; }
    juce::Button* getDeviceButton(int which) const noexcept { return which == 0 ? deviceButton1 : deviceButton2; }
    const BString& getSettingsPath() const noexcept { return settingsFile.path(); }
    bool isDumping() { return protocol.dumpFile().isOpen(); }

    // The display typeface: "Courier Std", else "Courier New", else the toolkit's monospaced one.
    static juce::String chooseDisplayTypeface();

    // A tooltip window that is never less than 19 pixels high.
    class TooltipWindowHeightCorrected : public juce::TooltipWindow
    {
    public:
        static constexpr int kMinHeight = 19;
        TooltipWindowHeightCorrected() = default;
        void resized() override;
    };
    // A tooltip window as the panel shows them: at least 19 pixels high, after 1.5 s.
    static std::unique_ptr<juce::TooltipWindow> makeTooltipWindow();

private:
    // The editor's view of the program-name table.
    class NameTableAccess : public ProgramNameStore
    {
    public:
        explicit NameTableAccess(ProgramNameTable& table_) : table(table_) {}
        void copyNamesTo(BString* names) const override { table.copyTo(names); }
        void assignNames(const BString* names) override { table.assign(names); }
    private:
        ProgramNameTable& table;
    };

    juce::HyperlinkButton* makeLinkArea(juce::Rectangle<int> bounds);
    juce::TextButton* makeOverlayButton(const juce::String& label, const juce::String& tooltip,
                                        juce::Rectangle<int> bounds);
    juce::TextEditor* makeDisplayLine(bool isTopLine, int base);
    void openPortSettings();
    // Scales the children and the panel to the zoom; also the window once it is shown.
    void applyZoom(bool resizeWindow);
    void applyKeptInFront();
    void reportLostMessages(std::uint64_t lost);
    // Message thread: what the MIDI layer's notifications handed over.
    void applyPendingDisplay();
    void showPromptUnlessChanged();
    bool inputDevicePresent();

    // Hand-over to the message thread, guarded by pendingLock. An empty top line means that no
    // pair is pending. The selections form a small ring: when more programs arrive than the
    // message thread has taken, the oldest go, as only the last selection stays visible.
    static constexpr int kMaxPendingSelections = 64;
    std::mutex pendingLock;
    juce::String pendingTopLine;
    juce::String pendingBottomLine;
    int pendingSelections[kMaxPendingSelections] = {};
    int pendingSelectionStart = 0;
    int pendingSelectionCount = 0;
    // Order stamps of the prompt timer's firing and of the last device state change (0: none
    // pending), so that the message thread handles them in the order they happened.
    std::atomic<std::uint32_t> eventStamp { 0 };
    std::atomic<std::uint32_t> promptDueAt { 0 };
    std::atomic<std::uint32_t> stateChangedAt { 0 };
    int displayUpdates = 0;

    // The toolkit's look forces the combo box arrow to be visible; over the picture it must take
    // its colour as given. Declared before the children, which use it until they are deleted.
    class OverlayComboLook : public juce::LookAndFeel_V4
    {
    public:
        void drawComboBox(juce::Graphics& g, int width, int height, bool isButtonDown, int buttonX,
                          int buttonY, int buttonW, int buttonH, juce::ComboBox& box) override;
    };
    OverlayComboLook overlayComboLook;

    // The toolkit's button painter shades a button's face on hover and press, even a transparent
    // one; over the picture nothing of the buttons may ever show.
    class OverlayButtonLook : public juce::LookAndFeel_V4
    {
    public:
        void drawButtonBackground(juce::Graphics&, juce::Button&, const juce::Colour&, bool, bool) override {}
    };
    OverlayButtonLook overlayButtonLook;

    // The display lines are glass over the picture. The toolkit's look fills their background and
    // strokes their outline even in a transparent colour: a pass over every pixel of both lines
    // whenever their text changes, up to once a frame.
    class DisplayLineLook : public juce::LookAndFeel_V4
    {
    public:
        void fillTextEditorBackground(juce::Graphics&, int, int, juce::TextEditor&) override {}
        void drawTextEditorOutline(juce::Graphics&, int, int, juce::TextEditor&) override {}
    };
    DisplayLineLook displayLineLook;

    BOwnedList<juce::Component*> ownedComponents;
    const TMidiAliasBinding portBinding { BString(kInputAlias), BString(kThruAlias) };
    PanelSettingsFile settingsFile;
    ProgramNameTable programNames;
    NameTableAccess programNameAccess { programNames };
    ModuleProtocol protocol { *this, programNames };
    AliasChooserDialog portDialog { this };
    ProgramEditorDialog programEditor { this, programNameAccess };
    ErrorReports errorReports;
    // Takes the pending pair and selections at most once per screen refresh.
    DisplayFramePacer displayFrames { *this, [this] { applyPendingDisplay(); } };
    IncomingMessagePump incoming {
        [this](const std::uint8_t* data, int length) { protocol.handleMessage(data, length); },
        [this](std::uint64_t lost) { reportLostMessages(lost); }
    };
    HoverTooltips tooltips { *this, makeTooltipWindow };
    PanelViewSettings view;
    float wheelTravel = 0.0f;   // Ctrl + wheel movement not yet turned into a zoom step

    // The zoom shortcuts, whichever of the window's components has the keyboard focus.
    class ZoomKeys : public juce::KeyListener
    {
    public:
        explicit ZoomKeys(AppContentPanel& panel_) : panel(panel_) {}
        bool keyPressed(const juce::KeyPress& key, juce::Component*) override { return panel.keyPressed(key); }
    private:
        AppContentPanel& panel;
    };
    ZoomKeys zoomKeys { *this };
    juce::Component* keyWindow = nullptr;   // not owned; the main window while zoomKeys listens to it

    juce::HyperlinkButton* linkArea1 = nullptr;
    juce::HyperlinkButton* linkArea2 = nullptr;
    juce::HyperlinkButton* linkArea3 = nullptr;
    juce::TextButton* deviceButton1 = nullptr;
    juce::TextButton* deviceButton2 = nullptr;
    juce::TextButton* editButton = nullptr;
    juce::TextButton* closeButton = nullptr;
    juce::TextEditor* topLine = nullptr;
    juce::TextEditor* bottomLine = nullptr;
    juce::ComboBox* channelCombo = nullptr;
    std::atomic<int> currentProgram { -1 };
};
