// lumo-send over WinMM, with the fake driver standing in for the system: the ports listed as the
// port dialog names them (the MIDI Mapper first), what reaches the driver, and a port that cannot
// be opened.
#include "base/AutoDelete.h"
#include "midi/winmm/MidiWinFactory.h"
#include "support/FakeWinMMDriver.h"
#include "tools/common/WinMMToolPorts.h"
#include "tools/lumo-send/LumoSend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
struct ToolRun
{
    int status = -1;
    std::string out;
    std::string err;
};

class LumoSendWinMM : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WinMMSystem::install(&driver);
        driver.setMapperName("Wine MIDI Mapper");
        driver.addOutput({"Synth", "", 0, WinMM::kNoError});
        driver.addOutput({"Synth", "", 0, WinMM::kNoError});
        driver.addOutput({"Busy Synth", "", 0, WinMM::kAllocated});
        driver.addInput({"Keys", "", 0, WinMM::kNoError});
    }

    void TearDown() override { WinMMSystem::install(nullptr); }

    ToolRun run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "lumo-send");
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(&arg[0]);
        // Each run ends the library's lifetime as the tool does (its singletons deleted).
        AutoDelete::beginNewLifetime();
        MidiWinFactory::allowRecreationForTests();
        ToolRun result;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        result.status = runLumoSend(static_cast<int>(argv.size()), argv.data(),
                                    [] { return std::make_unique<WinMMToolPorts>(); });
        result.out = testing::internal::GetCapturedStdout();
        result.err = testing::internal::GetCapturedStderr();
        driver.drain();
        return result;
    }

    FakeWinMMDriver driver;
};
} // namespace

TEST_F(LumoSendWinMM, ListsTheOutputsAsThePortDialogNamesThemMapperFirst)
{
    const ToolRun listed = run({"--list"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "Wine MIDI Mapper\nSynth\nSynth (2)\nBusy Synth\n");
}

TEST_F(LumoSendWinMM, SendsShortMessagesShortAndDisplayTextAsOneLongMessage)
{
    struct Case
    {
        std::vector<std::string> args;
        int outputId;
        bool isShort;
        std::vector<unsigned char> bytes;
    };
    const std::vector<Case> cases = {
        {{"--port", "Synth (2)", "--program", "5", "--channel", "3"}, 1, true, {0xC2, 5, 0}},
        {{"--port", "Wine MIDI Mapper", "--program", "127"}, WinMM::kMapperId, true, {0xC0, 127, 0}},
        {{"--port", "Synth", "--text", "HI", "WIN"}, 0, false, {}},
    };
    for (const Case& c : cases)
    {
        const std::size_t before = driver.sentTo(c.outputId).size();
        const ToolRun done = run(c.args);
        ASSERT_EQ(done.status, 0) << c.args[1] << ": " << done.err;
        const auto log = driver.sentTo(c.outputId);
        // Opening probes the handle with an empty short message.
        const auto sent = std::count_if(log.begin() + static_cast<long>(before), log.end(),
                                        [](const FakeWinMMDriver::Sent& m) { return !m.isShort || m.packed != 0; });
        ASSERT_EQ(sent, 1) << c.args[1];
        EXPECT_EQ(log.back().isShort, c.isShort) << c.args[1];
        if (c.isShort)
            EXPECT_EQ(log.back().packed, static_cast<std::uint32_t>(c.bytes[0] | c.bytes[1] << 8)) << c.args[1];
        else
            EXPECT_TRUE(log.back().bytes.size() > 2 && log.back().bytes.front() == 0xF0 &&
                        log.back().bytes.back() == 0xF7)
                << c.args[1];
    }
}

TEST_F(LumoSendWinMM, APortThatCannotBeOpenedOrIsNotThereFailsWithAClearMessage)
{
    struct Case
    {
        const char* port;
        const char* message;
    };
    // The backend's own explanation follows the first.
    for (const Case& c : {Case{"Busy Synth", "lumo-send: cannot open \"Busy Synth\": Cannot open MIDI output device"},
                          Case{"Keys", "lumo-send: no MIDI port named \"Keys\" (see lumo-send --list)"}})
    {
        const ToolRun failed = run({"--port", c.port, "--program", "1"});
        EXPECT_EQ(failed.status, 1) << c.port;
        EXPECT_EQ(failed.err.rfind(c.message, 0), 0u) << failed.err;
    }
    EXPECT_TRUE(driver.sentTo(2).empty());
}
