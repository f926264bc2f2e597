// The sequencer's reader thread sleeps in poll() until events or its wake-up descriptor wake it;
// without that descriptor nothing could end the reader, and closing would wait for ever. When the
// system refuses one, the sequencer is not opened and says why.
#include "midi/alsa/AlsaMidiDescriptor.h"
#include "midi/alsa/AlsaMidiFactory.h"
#include "midi/TMidiDeviceBase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <string>

namespace
{
std::atomic<bool> refuseEventFd{false};
std::atomic<int> eventFdCalls{0};
} // namespace

// Stands in for the C library's eventfd in this test program; passes through unless refusing.
extern "C" int eventfd(unsigned int initval, int flags)
{
    eventFdCalls.fetch_add(1);
    if (refuseEventFd.load())
    {
        errno = EMFILE;
        return -1;
    }
    using Real = int (*)(unsigned int, int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "eventfd"));
    return real != nullptr ? real(initval, flags) : -1;
}

TEST(AlsaWakeDescriptor, RefusedEventFdLeavesTheSequencerClosedAndSaysWhy)
{
    refuseEventFd.store(true);
    eventFdCalls.store(0);
    testing::internal::CaptureStderr();
    {
        AlsaMidiFactory factory("lumo-test", false);
        EXPECT_FALSE(factory.getSequencer().connect());
        const AlsaMidiDescriptor through(&factory, true, 0, "Midi Through:Midi Through Port-0", 14, 0);
        auto input = factory.createDevice(through);
        input->openDevice();
        EXPECT_FALSE(input->isOpen());
        // Leaving the scope ends the sequencer: with a reader and no way to wake it, never.
    }
    const std::string err = testing::internal::GetCapturedStderr();
    refuseEventFd.store(false);
    EXPECT_GT(eventFdCalls.load(), 0);
    EXPECT_NE(err.find("eventfd"), std::string::npos) << err;
    EXPECT_NE(err.find("Too many open files"), std::string::npos) << err;
}
