#pragma once

#include "base/BList.h"
#include "base/BString.h"
#include "dialogs/ComboBoxMidi.h"
#include "dialogs/SolidComponent.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <vector>

class AliasChooserDialog;
class TMidiAlias;

// One block of the port dialog: an input alias, an output alias, or a pair of them. Its
// components are made on its first layout and reused when the row is rebuilt for other aliases;
// deleting the row deletes them.
struct AliasRow
{
    TMidiAlias* input = nullptr;    // not owned
    TMidiAlias* output = nullptr;   // not owned
    BString name;

    std::unique_ptr<juce::Label> nameLabel;
    std::unique_ptr<juce::Label> inputLabel;
    std::unique_ptr<juce::Label> outputLabel;
    std::unique_ptr<ComboBoxMidi> inputCombo;
    std::unique_ptr<ComboBoxMidi> outputCombo;
    std::unique_ptr<SolidComponent> rowSeparator;

    bool hasComponents() const noexcept { return nameLabel != nullptr; }
};

// The port dialog's content: heading, the scrolled rows, a line and the OK / Cancel buttons.
// Message thread only.
class AliasChooserDialogContent : public juce::Component,
                                  public juce::Button::Listener
{
public:
    static constexpr juce::uint32 kTextColour = 0xffffffb3;
    static constexpr juce::uint32 kBackground = 0xff800808;
    static constexpr int kMinRowWidth = 200;

    explicit AliasChooserDialogContent(AliasChooserDialog& dialog);
    ~AliasChooserDialogContent() override;

    // Makes one row per alias or pair of aliases of `list`, sorted by title (see the .cpp).
    void buildRows(const BList<TMidiAlias*>& list);
    // Places the children; with reset the view scrolls to the top, the titles are set and each
    // combo box is asked to select its alias's device.
    void layoutRows(bool reset);
    // Writes every combo box's choice into its alias, in one change batch (closed also when
    // applying throws, which propagates).
    void applyAssignments();

    void resized() override;
    void buttonClicked(juce::Button* button) override;

    // For the dialog's height and for tests.
    int getRowCount() const noexcept { return static_cast<int>(rows.size()); }
    AliasRow& getRow(int index) { return *rows[static_cast<size_t>(index)]; }
    juce::Viewport& getViewport() noexcept { return viewport; }
    juce::Component& getRowsHolder() noexcept { return rowsHolder; }
    juce::Label& getNoPortsLabel() noexcept { return noPortsLabel; }
    juce::Label& getHeading() noexcept { return heading; }
    juce::TextButton& getOkButton() noexcept { return okButton; }
    juce::TextButton& getCancelButton() noexcept { return cancelButton; }

private:
    void makeRowComponents(AliasRow& row);
    void styleLabel(juce::Label& label, const juce::String& text);

    AliasChooserDialog& dialog;
    juce::Label heading;
    juce::Label noPortsLabel;
    juce::TextButton okButton { "OK" };
    juce::TextButton cancelButton { "Cancel" };
    juce::Viewport viewport;
    juce::Component rowsHolder;
    SolidComponent separator;
    // After the holder: rows (and their components) go first.
    std::vector<std::unique_ptr<AliasRow>> rows;

    JUCE_DECLARE_NON_COPYABLE(AliasChooserDialogContent)
};
