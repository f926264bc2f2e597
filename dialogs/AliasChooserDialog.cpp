#include "dialogs/AliasChooserDialog.h"

#include "dialogs/AliasChooserDialogContent.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"

const juce::Colour AliasChooserDialog::kBackground { 0xff800808 };

AliasChooserDialog::AliasChooserDialog(juce::Component* owner)
    : ABaseDialog("Vantor LUMO - MIDI Port Settings", owner)
{
    setBackgroundColour(kBackground);
}

AliasChooserDialog::~AliasChooserDialog()
{
    // Once the window holds the content it deletes it itself.
    if (content != nullptr && getContentComponent() == content)
        (void) ownedContent.release();
}

void AliasChooserDialog::setupWindow()
{
    setResizable(true, true);
}

juce::Component* AliasChooserDialog::createContentComponent()
{
    if (content == nullptr)
    {
        ownedContent = std::make_unique<AliasChooserDialogContent>(*this);
        content = ownedContent.get();
        content->setSize(rememberedWidth, rememberedHeight);
    }
    return content;
}

int AliasChooserDialog::getContentHeight()
{
    if (content != nullptr)
    {
        const int spare = content->getViewport().getHeight() - content->getRowsHolder().getHeight();
        if (spare > 0)
            return content->getHeight() - spare;
    }
    return rememberedHeight;
}

void AliasChooserDialog::showDialog(bool sizeAndCentreFirst)
{
    if (content == nullptr)
        createContentComponent();
    updateRows();
    content->layoutRows(true);
    ABaseDialog::showDialog(sizeAndCentreFirst);
}

void AliasChooserDialog::resized()
{
    ABaseDialog::resized();
    if (getWidth() > 0 && content != nullptr && isVisible() && getContentComponent() == content)
    {
        rememberedWidth = content->getWidth();
        rememberedHeight = content->getHeight();
    }
}

void AliasChooserDialog::updateRows()
{
    if (content == nullptr)
        createContentComponent();
    const bool filledHere = aliases.IsEmpty();
    if (filledHere)
        collectAliases();
    content->buildRows(aliases);
    if (filledHere)
        aliases.Clear();
}

void AliasChooserDialog::collectAliases()
{
    TMidiAliasManager* manager = TMidiAliasManager::peekInstance();
    if (manager == nullptr)
        return;

    const auto eligible = [this](const TMidiAlias* alias) {
        const int direction = alias->direction.load();
        if (direction == TMidiAlias::kNone || alias->name().IsEmpty() || alias->hasFlag(TMidiAlias::kHidden))
            return false;
        return (direction == TMidiAlias::kInput && showInputs) || (direction == TMidiAlias::kOutput && showOutputs);
    };

    TMidiAliasList all;
    manager->copyAliases(all);
    for (TMidiAlias* alias : all)
    {
        if (onlyMarkedAliases)
        {
            // Aliases the application asked for by name.
            if (alias->direction.load() != TMidiAlias::kNone && alias->hasFlag(TMidiAlias::kRequested)
                && eligible(alias) && ! aliases.Contains(alias))
                aliases.Add(alias);
        }
        else if (eligible(alias) && ! alias->deviceName().Equals(alias->name(), true))
        {
            // An alias that merely names its own device (made automatically per device) is no
            // choice for the user.
            aliases.Add(alias);
        }
    }
}
