// The dialog base: content made once, placement over the owner, and show and hide requests
// from other threads ending the modal loop on the message thread.
#include "gui/JuceTestSupport.h"

#include "dialogs/ABaseDialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using JuceTestSupport::pumpUntil;

namespace
{

class CountingDialog : public ABaseDialog
{
public:
    explicit CountingDialog(juce::Component* owner) : ABaseDialog("Counting", owner) {}

    juce::Component* createContentComponent() override
    {
        ++contentsMade;
        auto* content = new juce::Component();
        content->setSize(200, 100);
        return content;
    }
    void setupWindow() override { ++setups; }
    int getContentWidth() override { return 200; }
    int getContentHeight() override { return 100; }

    int contentsMade = 0;
    int setups = 0;
};

class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override { JuceTestSupport::initialiseOnce(); }
};

TEST_F(DialogTest, ContentIsMadeOnceAndReusedForLaterOpenings)
{
    CountingDialog dialog(nullptr);
    dialog.setModal(false);
    EXPECT_EQ(dialog.getContentComponent(), nullptr);
    dialog.showDialog(true);
    auto* first = dialog.getContentComponent();
    ASSERT_NE(first, nullptr);
    dialog.closeButtonPressed();
    EXPECT_FALSE(dialog.isVisible());
    dialog.showDialog(true);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.getContentComponent(), first);
    EXPECT_EQ(dialog.contentsMade, 1);
    EXPECT_EQ(dialog.setups, 1);
}

TEST_F(DialogTest, WindowIsSizedAroundTheContentAndCentredOverTheOwner)
{
    juce::Component owner;
    owner.setBounds(100, 200, 640, 494);
    CountingDialog dialog(&owner);
    dialog.sizeAndCentre();
    const auto border = dialog.getContentComponentBorder();
    EXPECT_EQ(dialog.getWidth(), 200 + border.getLeftAndRight());
    EXPECT_EQ(dialog.getHeight(), 100 + border.getTopAndBottom());
    EXPECT_EQ(dialog.getX(), 100 + 320 - dialog.getWidth() / 2);
    EXPECT_EQ(dialog.getY(), 200 + 247 - dialog.getHeight() / 2);
}

TEST_F(DialogTest, OwnerNearTheTopLeftCornerNeverGivesNegativeCoordinates)
{
    juce::Component owner;
    owner.setBounds(-300, -250, 100, 50);
    CountingDialog dialog(&owner);
    dialog.sizeAndCentre();
    EXPECT_EQ(dialog.getPosition(), juce::Point<int>(0, 0));
}

TEST_F(DialogTest, OwnerInsideAWindowCentresOverThatWindow)
{
    juce::Component window;
    window.setBounds(50, 60, 400, 300);
    juce::Component child;
    child.setBounds(0, 0, 10, 10);
    window.addAndMakeVisible(child);
    CountingDialog dialog(&child);
    dialog.sizeAndCentre();
    EXPECT_EQ(dialog.getX(), 50 + 200 - dialog.getWidth() / 2);
    EXPECT_EQ(dialog.getY(), 60 + 150 - dialog.getHeight() / 2);
}

TEST_F(DialogTest, HideFromAnotherThreadEndsTheModalLoopOnTheMessageThread)
{
    CountingDialog dialog(nullptr);
    std::atomic<bool> requested { false };
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        dialog.setVisible(false);
        requested = true;
    });
    const auto start = juce::Time::getMillisecondCounter();
    dialog.showDialog(true);   // returns only when the dialog has been hidden
    const auto took = juce::Time::getMillisecondCounter() - start;
    other.join();
    EXPECT_TRUE(requested.load());
    EXPECT_GE(took, 250u);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.isCurrentlyModal(false));
}

TEST_F(DialogTest, CloseFromAnotherThreadEndsTheModalLoopToo)
{
    CountingDialog dialog(nullptr);
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        dialog.closeButtonPressed();
    });
    dialog.showDialog(true);
    other.join();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogTest, ShowFromAnotherThreadMakesTheContentOnTheMessageThread)
{
    CountingDialog dialog(nullptr);
    dialog.setModal(false);
    std::thread other([&] { dialog.setVisible(true); });
    other.join();
    EXPECT_EQ(dialog.contentsMade, 0);   // nothing built off the message thread
    EXPECT_TRUE(pumpUntil([&] { return dialog.isVisible(); }));
    EXPECT_EQ(dialog.contentsMade, 1);
}

TEST_F(DialogTest, OnlyAShownDialogHoldsANativeWindow)
{
    CountingDialog dialog(nullptr);
    EXPECT_FALSE(dialog.isOnDesktop()) << "made hidden, without a native window";

    bool onDesktopWhileModal = false;
    juce::MessageManager::callAsync([&] {
        onDesktopWhileModal = dialog.isOnDesktop() && dialog.isVisible();
        dialog.closeButtonPressed();
    });
    dialog.showDialog(true);
    EXPECT_TRUE(onDesktopWhileModal);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.isOnDesktop()) << "hiding gives the native window up";
    EXPECT_EQ(dialog.getPeer(), nullptr);

    // Modeless, and again: the window comes back each time it is shown.
    dialog.setModal(false);
    for (int round = 0; round < 2; ++round)
    {
        dialog.showDialog(false);
        EXPECT_TRUE(dialog.isOnDesktop()) << round;
        dialog.closeButtonPressed();
        EXPECT_FALSE(dialog.isOnDesktop()) << round;
    }
    EXPECT_EQ(dialog.contentsMade, 1);
}

TEST_F(DialogTest, ShowingAgainWhileModalStartsNoSecondLoop)
{
    CountingDialog dialog(nullptr);
    int nestedReturns = 0;
    juce::MessageManager::callAsync([&] {
        dialog.showDialog(true);   // already the modal component: must return at once
        ++nestedReturns;
        dialog.closeButtonPressed();
    });
    dialog.showDialog(true);
    EXPECT_EQ(nestedReturns, 1);
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
