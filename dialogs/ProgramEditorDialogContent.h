#pragma once

#include "base/BString.h"
#include "dialogs/ProgramNameStore.h"

#include <juce_gui_basics/juce_gui_basics.h>

class ProgramEditorDialog;

// The Program Names editor's controls and its working copy of the 128 names.
// Message thread only; owned by the editor window.
class ProgramEditorDialogContent : public juce::Component,
                                   public juce::Button::Listener,
                                   public juce::ComboBox::Listener,
                                   public juce::KeyListener
{
public:
    static constexpr int kMaxNameLength = 16;

    // Builds the controls and reads the working copy from the dialog's name table.
    explicit ProgramEditorDialogContent(ProgramEditorDialog& dialog);
    ~ProgramEditorDialogContent() override;

    void resized() override;

    // Stores the edited name into the working copy, then shows the newly selected program's name.
    void comboBoxChanged(juce::ComboBox* combo) override;
    // "OK" stores the edit and writes all names into the table; both buttons close the dialog.
    void buttonClicked(juce::Button* button) override;
    // Return without Shift, Ctrl or Alt in the name field acts as "OK".
    bool keyPressed(const juce::KeyPress& key, juce::Component* origin) override;
    using juce::Component::keyPressed;

    // Access for the owner and for tests.
    juce::ComboBox& getProgramCombo() noexcept { return programCombo; }
    juce::TextEditor& getNameEditor() noexcept { return nameEditor; }
    juce::TextButton& getOkButton() noexcept { return okButton; }
    juce::TextButton& getCancelButton() noexcept { return cancelButton; }
    const BString& workingName(int index) const;
    int getCurrentIndex() const noexcept { return currentIndex; }

    ProgramEditorDialogContent(const ProgramEditorDialogContent&) = delete;
    ProgramEditorDialogContent& operator=(const ProgramEditorDialogContent&) = delete;

private:
    void loadNames();

    ProgramEditorDialog& dialog;
    juce::ComboBox programCombo;
    juce::TextEditor nameEditor;
    juce::TextButton okButton { "OK" };
    juce::TextButton cancelButton { "Cancel" };
    juce::Label programLabel { {}, "Program:" };
    juce::Label nameLabel { {}, "Name:" };
    BString workingNames[ProgramNameStore::kCount];
    int currentIndex = -1;
};
