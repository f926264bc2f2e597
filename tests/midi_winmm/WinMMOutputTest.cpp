#include "midi_winmm/WinMMFixture.h"

#include "midi/winmm/EMidiError.h"
#include "midi/winmm/TMidiOutputWin.h"

#include <algorithm>
#include <thread>

namespace
{
class WinMMOutput : public WinMMTest
{
protected:
    // Output index 1: WinMM output 0 (index 0 is the Mapper).
    TMidiOutputWin& open(int index = 1, unsigned openResult = WinMM::kNoError)
    {
        driver.addOutput({"Synth", "", 0, openResult});
        output.reset(static_cast<TMidiOutputWin*>(device(false, index).release()));
        output->openDevice();
        return *output;
    }

    void TearDown() override
    {
        output.reset();
        driver.drain();
        WinMMTest::TearDown();
    }

    std::unique_ptr<TMidiOutputWin> output;
};

class StopAtFirstProgress : public TMidiSendProgressListener
{
public:
    void progress(TMidiOutputBase*, TMidiSendProgress& p) override { p.proceed = 0; }
};
} // namespace

struct SendCase
{
    std::vector<unsigned char> bytes;
    bool isShort;
    std::uint32_t packed;
};

TEST_F(WinMMOutput, SendLongPicksShortOrLongForm)
{
    const SendCase cases[] = {
        {{0x90, 0x3C, 0x64}, true, 0x643C90},
        {{0xC0, 0x05}, true, 0x05C0},
        {{0xF0}, true, 0xF0},
        {{0xF0, 0x7E, 0xF7}, false, 0},
        // The end of a longer SysEx.
        {{0xF7}, false, 0},
        {{0x11, 0xF7}, false, 0},
        {{0x11, 0x22, 0xF7}, false, 0},
    };
    open();
    for (const SendCase& c : cases)
    {
        EXPECT_TRUE(output->sendLong(c.bytes.data(), static_cast<int>(c.bytes.size())));
        const auto sent = driver.sentTo(0).back();
        EXPECT_EQ(sent.isShort, c.isShort);
        if (c.isShort)
            EXPECT_EQ(sent.packed, c.packed);
        else
            EXPECT_EQ(sent.bytes, c.bytes);
    }
}

TEST_F(WinMMOutput, IndexZeroOpensTheMapper)
{
    open(0);
    EXPECT_EQ(driver.lastOpenedOutputId(), WinMM::kMapperId);
}

TEST_F(WinMMOutput, EveryPieceOfALongSysExLeavesAsALongMessage)
{
    const int lengths[] = {2050, 1026, 2051};
    open();
    for (int length : lengths)
    {
        std::vector<unsigned char> sysex(static_cast<size_t>(length), 0x22);
        sysex.front() = 0xF0;
        sysex.back() = 0xF7;
        const size_t before = driver.sentTo(0).size();
        EXPECT_EQ(output->sendLongInBlocks(sysex.data(), length, nullptr), length);
        const auto sent = driver.sentTo(0);
        std::vector<unsigned char> joined;
        for (size_t i = before; i < sent.size(); ++i)
        {
            EXPECT_FALSE(sent[i].isShort) << length;
            joined.insert(joined.end(), sent[i].bytes.begin(), sent[i].bytes.end());
        }
        EXPECT_EQ(joined, sysex);
    }
}

TEST_F(WinMMOutput, ProgressListenerStopsAfterTheFirstBlock)
{
    open();
    std::vector<unsigned char> data(3000, 0x10);
    StopAtFirstProgress stop;
    EXPECT_EQ(output->sendLongInBlocks(data.data(), 3000, &stop), 1024);
}

TEST_F(WinMMOutput, PortHeldElsewhereFailsWithTwoLines)
{
    try
    {
        open(1, WinMM::kAllocated);
        FAIL() << "opened";
    }
    catch (const EMidiError& e)
    {
        EXPECT_STREQ(e.what(), "Cannot open MIDI output device \"Synth\":\r\n"
                               "It seems that the MIDI port is already open in another application.");
    }
}

// Several threads send while the driver reports each long message done before midiOutLongMsg
// has returned: the header is finished before its sender registered it.
TEST_F(WinMMOutput, CompletionsBeforeRegistrationFreeEveryHeaderOnce)
{
    const bool early[] = {true, false};
    open();
    for (bool doneFirst : early)
    {
        driver.doneBeforeLongMsgReturns = doneFirst;
        std::vector<std::thread> senders;
        std::atomic<int> failures{0};
        for (int t = 0; t < 4; ++t)
            senders.emplace_back([&] {
                const unsigned char sysex[] = {0xF0, 0x43, 0x10, 0x4C, 0xF7};
                for (int i = 0; i < 300; ++i)
                    if (!output->sendLong(sysex, 5))
                        failures.fetch_add(1);
            });
        for (auto& s : senders)
            s.join();
        driver.drain();
        EXPECT_EQ(failures.load(), 0);
        EXPECT_EQ(output->pendingLongCount(), 0) << doneFirst;
        EXPECT_EQ(output->headersInFlight(), 0) << doneFirst;
    }
    const auto sent = driver.sentTo(0);
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const auto& m) { return !m.isShort; }), 2400);
}

TEST_F(WinMMOutput, DriverCloseWhileSendingStopsSendingAndPollCloses)
{
    open();
    driver.completeLongMessages = false;
    std::vector<unsigned char> data(100 * 1024, 0x01);
    std::atomic<int> sent{-1};
    std::thread sender([&] { sent = output->sendLongInBlocks(data.data(), static_cast<int>(data.size()), nullptr); });
    driver.closeFromDriver(false, 0);
    driver.drain();
    sender.join();
    EXPECT_LE(sent.load(), static_cast<int>(data.size()));
    const unsigned char note[] = {0x90, 0x3C, 0x64};
    EXPECT_FALSE(output->sendLong(note, 3));
    EXPECT_FALSE(output->sendShort(0x643C90));
    output->poll();
    EXPECT_FALSE(output->isOpen());
    EXPECT_EQ(output->pendingLongCount(), 0);
}

TEST_F(WinMMOutput, CloseWaitsForTheDriverToReturnHeldMessages)
{
    open();
    driver.completeLongMessages = false;
    const unsigned char sysex[] = {0xF0, 0x01, 0x02, 0xF7};
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(output->sendLong(sysex, 4));
    EXPECT_EQ(output->pendingLongCount(), 5);
    output->closeDevice();
    EXPECT_EQ(driver.resetCount(), 1);
    EXPECT_EQ(driver.closedOverHeldBuffers(), 0);
    EXPECT_EQ(output->headersInFlight(), 0);
    EXPECT_EQ(output->abandonedHeaderCount(), 0);
    EXPECT_EQ(output->pendingLongCount(), 0);
}
