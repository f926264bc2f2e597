#include "dialogs/ProgramEditorDialog.h"

#include "dialogs/ProgramEditorDialogContent.h"

const juce::Colour ProgramEditorDialog::kBackground { 0xff800808 };

ProgramEditorDialog::ProgramEditorDialog(juce::Component* owner, ProgramNameStore& programNames_)
    : ABaseDialog("Vantor LUMO - Program Names", owner),
      programNames(programNames_)
{
    setBackgroundColour(kBackground);
}

ProgramEditorDialog::~ProgramEditorDialog()
{
    // Once the window holds the content it deletes it itself.
    if (content != nullptr && getContentComponent() == content)
        (void) ownedContent.release();
}

void ProgramEditorDialog::setupWindow()
{
    setResizable(false, false);
}

juce::Component* ProgramEditorDialog::createContentComponent()
{
    if (content == nullptr)
    {
        ownedContent = std::make_unique<ProgramEditorDialogContent>(*this);
        content = ownedContent.get();
        content->setSize(kWidth, kHeight);
    }
    return content;
}

void ProgramEditorDialog::selectProgram(int index)
{
    createContentComponent();
    auto& combo = content->getProgramCombo();
    if (index >= 0 && index < combo.getNumItems())
        combo.setSelectedId(index + 1, juce::sendNotificationAsync);
}
