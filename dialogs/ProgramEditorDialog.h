#pragma once

#include "dialogs/ABaseDialog.h"
#include "dialogs/ProgramNameStore.h"

class ProgramEditorDialogContent;

// The "Program Names" editor: a list of the 128 programs and a one-line field for the selected
// program's name (at most 16 characters). It edits a working copy that is read from the owner's
// table when the content is first made; "OK" (or Return in the name field) writes all 128 names
// back at once, "Cancel", Escape and the close button write nothing and keep the edits for the
// next opening.
//
// Message thread only. The owner keeps one instance for the whole run; the name table must
// outlive it.
class ProgramEditorDialog : public ABaseDialog
{
public:
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 170;
    static const juce::Colour kBackground;   // 0xff800808

    ProgramEditorDialog(juce::Component* owner, ProgramNameStore& programNames);
    ~ProgramEditorDialog() override;

    void setupWindow() override;
    // Makes the content on first call (300 x 170) and returns it; the window owns it once set.
    juce::Component* createContentComponent() override;
    int getContentWidth() override { return kWidth; }
    int getContentHeight() override { return kHeight; }

    // Selects program `index` (0..127) in the list, making the content if needed; the name field
    // follows asynchronously. Any other index does nothing. Works whether the editor is open or not.
    void selectProgram(int index);

    ProgramNameStore& getProgramNames() noexcept { return programNames; }
    // The content, or null before it was first needed (tests look inside through it).
    ProgramEditorDialogContent* getContent() noexcept { return content; }

private:
    // Owned here until the window takes it as its content (see the destructor).
    std::unique_ptr<ProgramEditorDialogContent> ownedContent;
    ProgramEditorDialogContent* content = nullptr;
    ProgramNameStore& programNames;
};
