#pragma once

#include "base/BList.h"
#include "base/BString.h"
#include "dialogs/ABaseDialog.h"

#include <functional>
#include <memory>

class AliasChooserDialogContent;
class TMidiAlias;

// The "MIDI Port Settings" dialog: one row per port alias (or per input/output pair of aliases
// with the same base name), each with a device combo box per direction. "OK" writes every
// choice into its alias in one change batch of the alias manager; "Cancel", Escape and the close
// button touch nothing. The window is resizable and keeps its size between openings; its height
// shrinks to the rows when they need less.
//
// Message thread only. The owner keeps one instance for the whole run.
class AliasChooserDialog : public ABaseDialog
{
public:
    static const juce::Colour kBackground;   // 0xff800808
    static constexpr int kInitialWidth = 350;
    static constexpr int kInitialHeight = 250;

    explicit AliasChooserDialog(juce::Component* owner);
    ~AliasChooserDialog() override;

    // ABaseDialog
    void setupWindow() override;
    juce::Component* createContentComponent() override;
    int getContentWidth() override { return rememberedWidth; }
    int getContentHeight() override;
    // Rebuilds the rows from the current aliases, lays them out afresh, then shows the dialog
    // (modally: returns once it has been closed).
    void showDialog(bool sizeAndCentreFirst) override;
    void resized() override;

    // Fills the working list from the alias manager unless the caller filled it, and builds the
    // rows (part of showDialog).
    void updateRows();

    // Which aliases are offered; see the .cpp.
    bool showInputs = true;
    bool showOutputs = true;
    bool onlyMarkedAliases = true;
    // New combo boxes offer "(none - don't ask again)".
    bool offerDontAskAgain = true;
    // Where an error of OK goes (the choices could not be applied): the program's one error
    // box. Without it, a warning box titled with the dialog's name.
    std::function<void(const BString& text)> reportError;
    // Aliases to show instead of the alias manager's (not owned); emptied by nobody but the caller.
    BList<TMidiAlias*> aliases;

    AliasChooserDialogContent* getContent() noexcept { return content; }
    int getRememberedWidth() const noexcept { return rememberedWidth; }
    int getRememberedHeight() const noexcept { return rememberedHeight; }

private:
    void collectAliases();

    // Owned here until the window takes it as its content (see the destructor).
    std::unique_ptr<AliasChooserDialogContent> ownedContent;
    AliasChooserDialogContent* content = nullptr;
    int rememberedWidth = kInitialWidth;
    int rememberedHeight = kInitialHeight;
};
