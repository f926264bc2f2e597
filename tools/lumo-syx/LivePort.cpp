#include "tools/lumo-syx/LivePort.h"

#include "base/BMessageQueue.h"
#include "base/Exception.h"
#include "midi/TMidiDeviceBase.h"
#include "tools/common/ToolPorts.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace
{
volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

// Runs on the backend's delivery thread (for JACK its real-time one): only copies into the queue.
class RingSink : public TMidiDeviceDataListener
{
public:
    void onMidiData(TMidiDeviceBase*, std::int64_t, const unsigned char* data, int length) override
    {
        if (ring.push(data, length) == 0)
            drops.fetch_add(1, std::memory_order_relaxed);
    }
    BMessageQueue ring{1024};
    std::atomic<std::uint64_t> drops{0};
};

constexpr int kExitError = 2;
} // namespace

int listenOnPort(const std::string& name, const std::function<void(const std::uint8_t*, int)>& handle)
{
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    const ToolShutdown shutdown;
    const std::unique_ptr<ToolPorts> ports = ToolPorts::forPlatform("lumo-syx");
    if (!ports->connect())
        return kExitError;
    RingSink sink; // outlives the device
    std::unique_ptr<TMidiDeviceBase> device = ports->create(name, true);
    if (!device)
    {
        std::fprintf(stderr, "lumo-syx: no MIDI input port named \"%s\"; there are:\n", name.c_str());
        for (const std::string& listed : ports->names(true))
            std::fprintf(stderr, "  %s\n", listed.c_str());
        return kExitError;
    }
    auto& input = static_cast<TMidiInputBase&>(*device);
    input.setDataListener(&sink);
    std::string problem;
    try
    {
        device->openDevice();
    }
    catch (const Exception& e)
    {
        problem = std::string(": ") + e.what();
    }
    if (!device->isOpen())
    {
        std::fprintf(stderr, "lumo-syx: cannot open \"%s\"%s\n", name.c_str(), problem.c_str());
        return kExitError;
    }
    input.start();
    int status = 0;
    const auto print = [&handle](const std::uint8_t* data, int length) {
        handle(data, length);
        std::fflush(stdout);
    };
    auto nextPoll = std::chrono::steady_clock::now();
    while (stopRequested == 0)
    {
        sink.ring.popAll(print);
        if (std::chrono::steady_clock::now() >= nextPoll)
        {
            // A backend closes the device here when its port went away.
            device->poll();
            if (!device->isOpen())
            {
                std::fprintf(stderr, "lumo-syx: the port \"%s\" went away\n", name.c_str());
                status = kExitError;
                break;
            }
            nextPoll += std::chrono::milliseconds(500);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    input.stop();
    device->closeDevice();
    sink.ring.popAll(print);
    if (sink.drops.load() > 0)
        std::fprintf(stderr, "lumo-syx: %llu messages came faster than they could be shown and were lost\n",
                     static_cast<unsigned long long>(sink.drops.load()));
    return status;
}
