#include "midi_winmm/WinMMFixture.h"

#include "midi/winmm/EMidiError.h"
#include "midi/winmm/TMidiInputWin.h"

namespace
{
class WinMMInput : public WinMMTest
{
protected:
    TMidiInputWin& open(const char* name = "Keys", unsigned openResult = WinMM::kNoError)
    {
        driver.addInput({name, "", 0, openResult});
        input.reset(static_cast<TMidiInputWin*>(device(true, 0).release()));
        input->setDataListener(&listener);
        input->openDevice();
        return *input;
    }

    void TearDown() override
    {
        input.reset();
        WinMMTest::TearDown();
    }

    RecordingDataListener listener;
    std::unique_ptr<TMidiInputWin> input;
};
} // namespace

TEST_F(WinMMInput, OpenQueuesSixteenBuffersOfOneKilobyte)
{
    open();
    EXPECT_EQ(driver.heldByDriver(), 16);
}

TEST_F(WinMMInput, LongSysExArrivesInBufferSizedPiecesWithTheirOwnTimestamps)
{
    open().start();
    std::vector<unsigned char> sysex(3000, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    EXPECT_EQ(driver.feedSysEx(0, sysex.data(), 3000, 100), 3);
    ASSERT_TRUE(listener.waitForCount(3));
    driver.drain();
    const auto got = listener.snapshot();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].bytes.size(), 1024u);
    EXPECT_EQ(got[1].bytes.size(), 1024u);
    EXPECT_EQ(got[2].bytes.size(), 952u);
    EXPECT_EQ(got[0].bytes.front(), 0xF0);
    EXPECT_EQ(got[2].bytes.back(), 0xF7);
    EXPECT_EQ(got[0].timestamp, 100);
    EXPECT_EQ(got[2].timestamp, 102);
    // Every buffer went back to the driver.
    EXPECT_EQ(driver.heldByDriver(), 16);
}

struct FilterCase
{
    const char* label;
    bool started;
    int passActiveSensing;
    int passClock;
    std::uint32_t packed;
    bool delivered;
};

TEST_F(WinMMInput, ShortMessagesAreFilteredAsConfigured)
{
    const FilterCase cases[] = {
        {"note", true, 1, 1, 0x643C90, true},
        {"before start", false, 1, 1, 0x643C90, false},
        {"active sensing passed", true, 1, 1, 0xFE, true},
        {"active sensing dropped", true, 0, 1, 0xFE, false},
        {"clock passed", true, 1, 1, 0xF8, true},
        {"clock dropped", true, 1, 0, 0xF8, false},
    };
    open();
    size_t expected = 0;
    for (const FilterCase& c : cases)
    {
        if (c.started)
            input->start();
        else
            input->stop();
        input->setPassActiveSensing(c.passActiveSensing);
        input->setPassClock(c.passClock);
        driver.feedShort(0, c.packed, 5);
        driver.drain();
        expected += c.delivered ? 1 : 0;
        EXPECT_EQ(listener.snapshot().size(), expected) << c.label;
    }
    const auto last = listener.snapshot().front();
    EXPECT_EQ(last.bytes, (std::vector<unsigned char>{0x90, 0x3C, 0x64}));
}

TEST_F(WinMMInput, ClockInsideSysExIsDeliveredEvenWhenClockIsDropped)
{
    open().start();
    input->setPassClock(0);
    const unsigned char sysex[] = {0xF0, 0xF8, 0xF7};
    driver.feedSysEx(0, sysex, 3, 1);
    ASSERT_TRUE(listener.waitForCount(1));
    EXPECT_EQ(listener.snapshot()[0].bytes.size(), 3u);
}

TEST_F(WinMMInput, PortHeldByAnotherProgramFailsWithTwoLines)
{
    try
    {
        open("Keys", WinMM::kAllocated);
        FAIL() << "opened";
    }
    catch (const EMidiError& e)
    {
        EXPECT_STREQ(e.what(), "Cannot open MIDI input device \"Keys\":\r\n"
                               "It seems that the MIDI port is already open in another application.");
    }
    EXPECT_FALSE(input->isOpen());
}

TEST_F(WinMMInput, FailedQueueingLeavesThePortClosedAndTheDriverEmpty)
{
    driver.addBufferFailsAfter = 5;
    EXPECT_THROW(open(), EMidiError);
    EXPECT_FALSE(input->isOpen());
    driver.drain();
    EXPECT_EQ(driver.heldByDriver(), 0);
    EXPECT_EQ(driver.closedOverHeldBuffers(), 0);
    EXPECT_EQ(driver.failedUnprepares(), 0);
}

TEST_F(WinMMInput, CloseTakesEveryBufferBackBeforeFreeingIt)
{
    open().start();
    const unsigned char note[] = {0xF0, 0x01, 0xF7};
    driver.feedSysEx(0, note, 3, 1);
    ASSERT_TRUE(listener.waitForCount(1));
    input->closeDevice();
    driver.drain();
    EXPECT_EQ(driver.resetCount(), 1);
    EXPECT_EQ(driver.closedOverHeldBuffers(), 0);
    EXPECT_EQ(driver.failedUnprepares(), 0);
    EXPECT_EQ(input->abandonedBufferCount(), 0);
    // The buffers the reset returned were neither delivered nor queued again.
    EXPECT_EQ(listener.snapshot().size(), 1u);
    EXPECT_EQ(driver.heldByDriver(), 0);
}

TEST_F(WinMMInput, BuffersTheDriverKeepsAreNotFreed)
{
    open().start();
    driver.resetReturnsBuffers = false;
    input->closeDevice();
    // Unprepare failed for each: they stay allocated rather than being freed under the driver.
    EXPECT_EQ(driver.failedUnprepares(), 16);
    EXPECT_EQ(input->abandonedBufferCount(), 16);
    EXPECT_EQ(listener.snapshot().size(), 0u);
}

TEST_F(WinMMInput, YokePortIsClosedWithoutReset)
{
    open("MIDI Yoke NT:  1");
    input->closeDevice();
    EXPECT_EQ(driver.resetCount(), 0);
}

TEST_F(WinMMInput, DriverSideCloseStopsDeliveryAndPollCloses)
{
    open().start();
    driver.closeFromDriver(true, 0);
    driver.drain();
    EXPECT_TRUE(input->isOpen());
    driver.feedShort(0, 0x643C90, 1);
    driver.drain();
    EXPECT_EQ(listener.snapshot().size(), 0u);
    input->poll();
    EXPECT_FALSE(input->isOpen());
    EXPECT_EQ(driver.resetCount(), 0);
}
