#include "dialogs/AliasChooserDialogContent.h"

#include "dialogs/AliasChooserDialog.h"
#include "dialogs/JuceText.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"

#include <algorithm>

namespace
{
bool titleBefore(const BString& a, const BString& b)
{
    return BString::Compare(a.ToUpper(), b.ToUpper()) < 0;
}

constexpr float kHeadingScale = 1.3f;
} // namespace

AliasChooserDialogContent::AliasChooserDialogContent(AliasChooserDialog& dialog_)
    : dialog(dialog_)
{
    styleLabel(heading, "MIDI Port Settings");
    heading.setJustificationType(juce::Justification::centred);
    heading.setFont(heading.getFont().withHeight(heading.getFont().getHeight() * kHeadingScale).boldened());
    addAndMakeVisible(heading);

    styleLabel(noPortsLabel, "There are no MIDI ports selected.");
    noPortsLabel.setJustificationType(juce::Justification::centred);
    rowsHolder.addChildComponent(noPortsLabel);

    viewport.setViewedComponent(&rowsHolder, false);
    viewport.setScrollBarsShown(true, false, true, true);
    addAndMakeVisible(viewport);
    addAndMakeVisible(separator);

    for (juce::TextButton* button : { &okButton, &cancelButton })
    {
        addAndMakeVisible(button);
        button->addListener(this);
    }
}

AliasChooserDialogContent::~AliasChooserDialogContent()
{
    okButton.removeListener(this);
    cancelButton.removeListener(this);
    rows.clear();
}

void AliasChooserDialogContent::styleLabel(juce::Label& label, const juce::String& text)
{
    label.setText(text, juce::dontSendNotification);
    label.setColour(juce::Label::textColourId, juce::Colour(kTextColour));
}

void AliasChooserDialogContent::buildRows(const BList<TMidiAlias*>& list)
{
    for (TMidiAlias* alias : list)
        alias->setFlag(TMidiAlias::kPairMark, false);

    TMidiAliasManager* manager = TMidiAliasManager::peekInstance();
    size_t counter = 0;
    for (int i = 0; i < list.Count(); ++i)
    {
        TMidiAlias* alias = list[i];
        if (alias->hasFlag(TMidiAlias::kPairMark))
            continue;
        if (counter == rows.size())
            rows.push_back(std::make_unique<AliasRow>());
        AliasRow& row = *rows[counter++];

        // A partner already in a row stays there: one alias never gets two rows.
        TMidiAlias* partner = nullptr;
        for (int j = i + 1; j < list.Count() && manager != nullptr && partner == nullptr; ++j)
            if (! list[j]->hasFlag(TMidiAlias::kPairMark) && manager->isPair(alias, list[j]))
                partner = list[j];

        if (partner != nullptr)
        {
            const bool aliasIsOutput = alias->direction.load() == TMidiAlias::kOutput;
            row.output = aliasIsOutput ? alias : partner;
            row.input = aliasIsOutput ? partner : alias;
            row.name = alias->baseName();
            partner->setFlag(TMidiAlias::kPairMark, true);
        }
        else
        {
            const bool isInput = alias->direction.load() == TMidiAlias::kInput;
            row.input = isInput ? alias : nullptr;
            row.output = isInput ? nullptr : alias;
            row.name = alias->name();
        }
    }
    rows.resize(counter);

    std::stable_sort(rows.begin(), rows.end(), [](const std::unique_ptr<AliasRow>& a, const std::unique_ptr<AliasRow>& b) {
        return titleBefore(a->name, b->name);
    });
}

void AliasChooserDialogContent::makeRowComponents(AliasRow& row)
{
    row.nameLabel = std::make_unique<juce::Label>();
    styleLabel(*row.nameLabel, {});
    row.nameLabel->setFont(row.nameLabel->getFont().boldened());
    row.inputLabel = std::make_unique<juce::Label>();
    styleLabel(*row.inputLabel, "INPUT:");
    row.outputLabel = std::make_unique<juce::Label>();
    styleLabel(*row.outputLabel, "OUTPUT:");
    row.rowSeparator = std::make_unique<SolidComponent>(juce::Colours::white);

    row.inputCombo = std::make_unique<ComboBoxMidi>(true);
    row.outputCombo = std::make_unique<ComboBoxMidi>(false);
    for (ComboBoxMidi* combo : { row.inputCombo.get(), row.outputCombo.get() })
    {
        combo->setShowPending(true);
        combo->setDontAskMode(dialog.offerDontAskAgain);
        combo->setOnlyOpenDevices(false);
        combo->setColour(juce::ComboBox::textColourId, juce::Colour(kTextColour));
        combo->setColour(juce::ComboBox::backgroundColourId, juce::Colour(kBackground));
    }

    for (juce::Component* child : std::initializer_list<juce::Component*> {
             row.nameLabel.get(), row.inputLabel.get(), row.outputLabel.get(), row.rowSeparator.get(),
             row.inputCombo.get(), row.outputCombo.get() })
        rowsHolder.addAndMakeVisible(child);
}

void AliasChooserDialogContent::layoutRows(bool reset)
{
    const int w = getWidth();
    const int h = getHeight();
    if (w > 0 && h > 0)
    {
        heading.setBounds(10, 10, w - 20, 40);
        separator.setBounds(10, h - 45, w - 20, 1);
        okButton.setBounds(w - 180, h - 40, 80, 30);
        cancelButton.setBounds(w - 90, h - 40, 80, 30);
        viewport.setBounds(0, 40, w, h - 90);
        if (reset)
            viewport.setViewPosition(0, 0);
    }

    int r = w - viewport.getScrollBarThickness();
    int y = 10;
    for (size_t i = 0; i < rows.size(); ++i)
    {
        AliasRow& row = *rows[i];
        if (! row.hasComponents())
            makeRowComponents(row);
        if (r < 1)
            break;
        r = std::max(r, kMinRowWidth);

        row.nameLabel->setBounds(10, y, r - 20, 24);
        y += 24;
        if (row.input != nullptr)
        {
            row.inputLabel->setBounds(10, y, 60, 24);
            row.inputCombo->setBounds(75, y, r - 85, 24);
            y += 24;
        }
        if (row.output != nullptr)
        {
            row.outputLabel->setBounds(10, y, 60, 24);
            row.outputCombo->setBounds(75, y, r - 85, 24);
            y += 24;
        }
        y += 5;
        row.rowSeparator->setBounds(10, y, r - 20, 1);
        y += 5;

        row.inputLabel->setVisible(row.input != nullptr);
        row.inputCombo->setVisible(row.input != nullptr);
        row.outputLabel->setVisible(row.output != nullptr);
        row.outputCombo->setVisible(row.output != nullptr);
        row.rowSeparator->setVisible(i + 1 < rows.size());

        row.inputCombo->setAlias(row.input);
        row.inputCombo->setIsInput(row.input == nullptr || row.input->direction.load() == TMidiAlias::kInput);
        row.outputCombo->setAlias(row.output);
        row.outputCombo->setIsInput(row.output != nullptr && row.output->direction.load() == TMidiAlias::kInput);

        if (reset)
        {
            row.nameLabel->setText(JuceText::toJuce(row.name) + ":", juce::dontSendNotification);
            if (row.input != nullptr)
                row.inputCombo->requestSelectFromAlias();
            if (row.output != nullptr)
                row.outputCombo->requestSelectFromAlias();
        }
    }

    if (r < 1 || h < 1)
        return;
    if (! rows.empty())
    {
        noPortsLabel.setVisible(false);
    }
    else
    {
        noPortsLabel.setBounds(10, y, r - 20, 40);
        noPortsLabel.setVisible(true);
        y += 40;
    }
    rowsHolder.setSize(r, y);
}

void AliasChooserDialogContent::applyAssignments()
{
    TMidiAliasManager* manager = TMidiAliasManager::getInstance();
    const TMidiAliasManager::BatchScope batch(*manager);
    for (const std::unique_ptr<AliasRow>& row : rows)
    {
        if (! row->hasComponents())
            continue;
        if (row->input != nullptr)
            row->inputCombo->applyToAlias();
        if (row->output != nullptr)
            row->outputCombo->applyToAlias();
    }
}

void AliasChooserDialogContent::resized()
{
    layoutRows(false);
}

void AliasChooserDialogContent::buttonClicked(juce::Button* button)
{
    if (button == &okButton)
    {
        try
        {
            applyAssignments();
        }
        catch (const std::exception& error)
        {
            // The choices could not be written (the MIDI layer is shutting down): the dialog
            // stays open and says why instead of letting the failure reach the message loop.
            if (dialog.reportError)
                dialog.reportError(BString(error.what()));
            else if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr)
                juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::WarningIcon,
                                                       dialog.getName(), juce::String::fromUTF8(error.what()));
            return;
        }
    }
    if (button == &okButton || button == &cancelButton)
        dialog.closeButtonPressed();
}
