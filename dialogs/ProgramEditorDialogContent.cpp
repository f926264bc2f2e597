#include "dialogs/ProgramEditorDialogContent.h"

#include "dialogs/JuceText.h"
#include "dialogs/ProgramEditorDialog.h"

namespace
{
const juce::Colour kLabelText { 0xffffffb3 };
}

ProgramEditorDialogContent::ProgramEditorDialogContent(ProgramEditorDialog& dialog_)
    : dialog(dialog_)
{
    const auto background = ProgramEditorDialog::kBackground;

    programLabel.setColour(juce::Label::textColourId, kLabelText);
    addAndMakeVisible(programLabel);

    for (int n = 1; n <= ProgramNameStore::kCount; ++n)
        programCombo.addItem("Program " + juce::String(n), n);
    programCombo.setColour(juce::ComboBox::textColourId, kLabelText);
    programCombo.setColour(juce::ComboBox::backgroundColourId, background);
    addAndMakeVisible(programCombo);

    nameLabel.setColour(juce::Label::textColourId, kLabelText);
    addAndMakeVisible(nameLabel);

    nameEditor.setMultiLine(false);
    nameEditor.setReadOnly(false);
    nameEditor.setInputRestrictions(kMaxNameLength);
    nameEditor.setColour(juce::TextEditor::backgroundColourId, background.brighter(0.4f));
    addAndMakeVisible(nameEditor);

    addAndMakeVisible(okButton);
    addAndMakeVisible(cancelButton);

    programCombo.addListener(this);
    okButton.addListener(this);
    cancelButton.addListener(this);
    nameEditor.addKeyListener(this);

    loadNames();
}

ProgramEditorDialogContent::~ProgramEditorDialogContent()
{
    nameEditor.removeKeyListener(this);
    cancelButton.removeListener(this);
    okButton.removeListener(this);
    programCombo.removeListener(this);
}

const BString& ProgramEditorDialogContent::workingName(int index) const
{
    static const BString none;
    return index >= 0 && index < ProgramNameStore::kCount ? workingNames[index] : none;
}

void ProgramEditorDialogContent::loadNames()
{
    dialog.getProgramNames().copyNamesTo(workingNames);
    currentIndex = programCombo.getSelectedItemIndex();
    if (currentIndex == -1)
        programCombo.setSelectedId(1, juce::sendNotificationAsync);
}

void ProgramEditorDialogContent::resized()
{
    const int w = getWidth();
    programLabel.setBounds(10, 10, w - 20, 30);
    programCombo.setBounds(10, 35, w - 20, 25);
    nameLabel.setBounds(10, 70, w - 20, 30);
    nameEditor.setBounds(10, 95, w - 20, 25);
    okButton.setBounds(w - 180, 130, 80, 30);
    cancelButton.setBounds(w - 90, 130, 80, 30);
}

void ProgramEditorDialogContent::comboBoxChanged(juce::ComboBox*)
{
    if (currentIndex >= 0)
        workingNames[currentIndex] = JuceText::fromJuce(nameEditor.getText());

    currentIndex = programCombo.getSelectedItemIndex();

    // Without a change message: the toolkit would post one that, handled later, writes this
    // text back over whatever was typed in between.
    if (currentIndex >= 0)
        nameEditor.setText(JuceText::toJuce(workingNames[currentIndex]), false);
}

void ProgramEditorDialogContent::buttonClicked(juce::Button* button)
{
    if (button == &okButton)
    {
        comboBoxChanged(&programCombo);
        dialog.getProgramNames().assignNames(workingNames);
    }
    dialog.closeButtonPressed();
}

bool ProgramEditorDialogContent::keyPressed(const juce::KeyPress& key, juce::Component*)
{
    const auto mods = key.getModifiers();
    if (key.getKeyCode() == juce::KeyPress::returnKey
        && ! mods.isShiftDown() && ! mods.isCtrlDown() && ! mods.isAltDown())
    {
        buttonClicked(&okButton);
        return true;
    }
    return false;
}
