// The base class's sending of long data in driver-sized blocks, with and without a progress
// listener that throttles or aborts it.
#include "midi/MidiDeviceDescriptor.h"
#include "midi/TMidiDeviceBase.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <vector>

namespace
{
// Records the blocks handed to sendLong; blocks in flight are a number the test sets.
class BlockRecorder : public TMidiOutputBase
{
public:
    BlockRecorder() : TMidiOutputBase(nullptr) {}
    bool sendShort(std::uint32_t) override { return true; }
    bool sendLong(const unsigned char*, int length) override
    {
        if (blocks.size() == failAt)
            return false;
        blocks.push_back(length);
        return true;
    }
    int pendingLongCount() const override { return pending; }

    std::vector<int> blocks;
    std::size_t failAt = std::numeric_limits<std::size_t>::max();
    int pending = 0;

protected:
    void open() override { setHandle(this); }
    void close(void*) override {}
};

// Lets one block in flight complete per call, and aborts at a given call.
class Throttle : public TMidiSendProgressListener
{
public:
    Throttle(BlockRecorder& device, int stopAtCall) : recorder(device), stopAt(stopAtCall) {}
    void progress(TMidiOutputBase*, TMidiSendProgress& progress) override
    {
        ++calls;
        if (recorder.pending > 0)
            --recorder.pending;
        if (calls == stopAt)
            progress.proceed = 0;
    }
    BlockRecorder& recorder;
    const int stopAt;
    int calls = 0;
};

struct BlocksCase
{
    const char* what;
    int length;
    bool open;
    bool withListener;
    int stopAtCall;       // 0: never
    int initialInFlight;  // blocks in flight before the call
    std::size_t failAt;   // sendLong call that fails
    std::vector<int> blocks;
    int returned;
    int progressCalls;
};

const std::size_t kNever = std::numeric_limits<std::size_t>::max();
} // namespace

TEST(TMidiOutputBase, SendLongInBlocksSplitsThrottlesAndStops)
{
    const BlocksCase cases[] = {
        {"splits into 1024-byte blocks", 2500, true, false, 0, 0, kNever, {1024, 1024, 452}, 2500, 0},
        {"an exact multiple has no empty tail", 2048, true, false, 0, 0, kNever, {1024, 1024}, 2048, 0},
        {"a listener that clears proceed stops after the block", 2500, true, true, 1, 0, kNever, {1024}, 1024, 1},
        {"more than ten blocks in flight wait for the listener", 1500, true, true, 0, 12, kNever, {1024, 476}, 1500,
         3},
        {"a failed block ends the sending", 2500, true, false, 0, 0, 1, {1024}, 1024, 0},
        {"a closed device sends nothing", 100, false, false, 0, 0, kNever, {}, 0, 0},
    };
    for (const BlocksCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        BlockRecorder device;
        if (c.open)
            device.openDevice();
        device.failAt = c.failAt;
        device.pending = c.initialInFlight;
        Throttle throttle(device, c.stopAtCall);
        const std::vector<unsigned char> data(static_cast<std::size_t>(c.length), 0x42);
        const int sent = device.sendLongInBlocks(data.data(), c.length, c.withListener ? &throttle : nullptr);
        EXPECT_EQ(sent, c.returned);
        EXPECT_EQ(device.blocks, c.blocks);
        EXPECT_EQ(throttle.calls, c.progressCalls);
    }
}
