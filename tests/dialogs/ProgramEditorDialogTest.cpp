// The Program Names editor: its working copy, "OK" and "Cancel", Return, the 16-character limit
// and the program selection from outside.
#include "gui/JuceTestSupport.h"

#include "dialogs/ProgramEditorDialog.h"
#include "dialogs/ProgramEditorDialogContent.h"

#include <gtest/gtest.h>

#include <thread>

using JuceTestSupport::pumpUntil;

namespace
{

class ArrayNameStore : public ProgramNameStore
{
public:
    void copyNamesTo(BString* out) const override
    {
        for (int i = 0; i < kCount; ++i)
            out[i] = names[i];
    }
    void assignNames(const BString* in) override
    {
        ++assignments;
        for (int i = 0; i < kCount; ++i)
            names[i] = in[i];
    }

    BString names[kCount];
    int assignments = 0;
};

class EditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        JuceTestSupport::initialiseOnce();
        store.names[0] = "FIRST";
        store.names[4] = "FIFTH";
        store.names[5] = "SIXTH";
        editor = std::make_unique<ProgramEditorDialog>(nullptr, store);
    }

    // The content as the first opening or selection makes it, with its first selection applied.
    ProgramEditorDialogContent& content()
    {
        editor->createContentComponent();
        auto* c = editor->getContent();
        pumpUntil([c] { return c->getCurrentIndex() >= 0; });
        return *c;
    }

    void select(int index)
    {
        editor->selectProgram(index);
        auto* c = editor->getContent();
        ASSERT_TRUE(pumpUntil([c, index] { return c->getCurrentIndex() == index; }));
    }

    void type(const juce::String& text)
    {
        auto& field = content().getNameEditor();
        field.selectAll();
        field.insertTextAtCaret(text);
    }

    ArrayNameStore store;
    std::unique_ptr<ProgramEditorDialog> editor;
};

TEST_F(EditorTest, FirstOpeningShowsTheFirstProgramAndItsName)
{
    auto& c = content();
    EXPECT_EQ(c.getProgramCombo().getSelectedId(), 1);
    EXPECT_EQ(c.getProgramCombo().getText(), "Program 1");
    EXPECT_EQ(c.getNameEditor().getText(), "FIRST");
    EXPECT_EQ(c.getProgramCombo().getNumItems(), 128);
    EXPECT_EQ(c.getProgramCombo().getItemText(127), "Program 128");
}

TEST_F(EditorTest, OkCopiesEveryEditedNameIntoTheTable)
{
    content();
    select(4);
    type("NEW FIVE");
    select(5);
    type("NEW SIX");
    content().buttonClicked(&content().getOkButton());
    EXPECT_EQ(store.assignments, 1);
    EXPECT_EQ(store.names[4], "NEW FIVE");
    EXPECT_EQ(store.names[5], "NEW SIX");
    EXPECT_EQ(store.names[0], "FIRST");
}

TEST_F(EditorTest, CancelLeavesTheTableButKeepsTheEditForTheNextOpening)
{
    content();
    select(4);
    type("DRAFT");
    content().buttonClicked(&content().getCancelButton());
    EXPECT_EQ(store.assignments, 0);
    EXPECT_EQ(store.names[4], "FIFTH");

    select(0);
    select(4);
    EXPECT_EQ(content().getNameEditor().getText(), "DRAFT");
    // A later OK writes the kept draft.
    content().buttonClicked(&content().getOkButton());
    EXPECT_EQ(store.names[4], "DRAFT");
}

TEST_F(EditorTest, ReturnActsAsOkButNotWithShiftCtrlOrAlt)
{
    auto& c = content();
    select(5);
    type("RETURNED");
    for (auto modifier : { juce::ModifierKeys::shiftModifier, juce::ModifierKeys::ctrlModifier,
                           juce::ModifierKeys::altModifier })
    {
        const juce::KeyPress modified(juce::KeyPress::returnKey, juce::ModifierKeys(modifier), 0);
        EXPECT_FALSE(c.keyPressed(modified, &c.getNameEditor()));
        EXPECT_EQ(store.assignments, 0);
    }
    EXPECT_FALSE(c.keyPressed(juce::KeyPress('a'), &c.getNameEditor()));

    EXPECT_TRUE(c.keyPressed(juce::KeyPress(juce::KeyPress::returnKey), &c.getNameEditor()));
    EXPECT_EQ(store.assignments, 1);
    EXPECT_EQ(store.names[5], "RETURNED");
}

TEST_F(EditorTest, TypedNamesStopAtSixteenCharacters)
{
    select(2);
    type("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(content().getNameEditor().getText(), "ABCDEFGHIJKLMNOP");
    content().buttonClicked(&content().getOkButton());
    EXPECT_EQ(store.names[2], "ABCDEFGHIJKLMNOP");
}

TEST_F(EditorTest, LongStoredNamesStayWholeUnlessEdited)
{
    store.names[9] = "A NAME OF TWENTY CHR";
    editor = std::make_unique<ProgramEditorDialog>(nullptr, store);
    select(9);
    EXPECT_EQ(content().getNameEditor().getText(), "A NAME OF TWENTY CHR");
    content().buttonClicked(&content().getOkButton());
    EXPECT_EQ(store.names[9], "A NAME OF TWENTY CHR");
}

TEST_F(EditorTest, NamesRoundTripAsUtf8AndInvalidBytesStayVisible)
{
    store.names[1] = "Caf\xc3\xa9";
    store.names[2] = "Bad\xff\xfe";
    editor = std::make_unique<ProgramEditorDialog>(nullptr, store);
    select(1);
    EXPECT_EQ(content().getNameEditor().getText(), juce::String::fromUTF8("Caf\xc3\xa9"));
    select(2);
    EXPECT_EQ(content().getNameEditor().getText().length(), 5);
    select(1);
    content().buttonClicked(&content().getOkButton());
    EXPECT_EQ(store.names[1], "Caf\xc3\xa9");
}

TEST_F(EditorTest, SelectionOutsideTheProgramsChangesNothing)
{
    select(7);
    editor->selectProgram(128);
    editor->selectProgram(-1);
    JuceTestSupport::pumpFor(50);
    EXPECT_EQ(content().getCurrentIndex(), 7);
    EXPECT_EQ(content().getProgramCombo().getSelectedId(), 8);
}

TEST_F(EditorTest, SelectionFromOutsideKeepsTheTextTypedForThePreviousProgram)
{
    select(4);
    type("TYPED");
    select(6);
    EXPECT_EQ(content().workingName(4), "TYPED");
    EXPECT_EQ(store.names[4], "FIFTH");
}

TEST_F(EditorTest, TypingStraightAfterAProgramChangeIsKept)
{
    // The change shows the program's name; text typed before the system has handled what that
    // change posted (on a slow machine the user can be first) must not be put back afterwards.
    auto& c = content();
    c.getProgramCombo().setSelectedId(5, juce::dontSendNotification);
    c.comboBoxChanged(&c.getProgramCombo());
    ASSERT_EQ(c.getNameEditor().getText(), "FIFTH");
    type("QUICK");
    JuceTestSupport::pumpFor(100);
    EXPECT_EQ(c.getNameEditor().getText(), "QUICK");
    select(0);
    EXPECT_EQ(c.workingName(4), "QUICK");
}

TEST_F(EditorTest, TableChangesMadeAfterTheContentExistsAreNotSeen)
{
    content();
    store.names[0] = "CHANGED LATER";
    select(3);
    select(0);
    EXPECT_EQ(content().getNameEditor().getText(), "FIRST");
}

TEST_F(EditorTest, EditorUsesItsOwnColoursAndSize)
{
    editor->setVisible(false);
    EXPECT_EQ(editor->getName(), "Vantor LUMO - Program Names");
    EXPECT_EQ(editor->findColour(juce::ResizableWindow::backgroundColourId).getARGB(), 0xff800808u);
    auto& c = content();
    EXPECT_EQ(c.getWidth(), 300);
    EXPECT_EQ(c.getHeight(), 170);
    EXPECT_EQ(c.getNameEditor().findColour(juce::TextEditor::backgroundColourId).getARGB(), 0xffa44e4eu);
    EXPECT_EQ(c.getOkButton().getBounds(), juce::Rectangle<int>(120, 130, 80, 30));
    EXPECT_EQ(c.getCancelButton().getBounds(), juce::Rectangle<int>(210, 130, 80, 30));
}

} // namespace
