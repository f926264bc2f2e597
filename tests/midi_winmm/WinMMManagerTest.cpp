// The WinMM backend under the MIDI manager: the thru copy from a WinMM input to a WinMM output,
// failures on that path inside the driver's callback, and device changes that the system
// announces with its broadcast.
#include "midi_winmm/WinMMFixture.h"

#include "base/TMessageWindowThread.h"
#include "midi/MidiManager.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiRouter.h"
#include "support/MidiTestListeners.h"
#include "support/WaitFor.h"

#include <stdexcept>
#include <string>
#include <thread>

namespace
{
class WinMMManager : public WinMMTest
{
protected:
    struct Thru
    {
        int inputId;  // WinMM input identifier
        int outputId; // WinMM output identifier
        TMidiDeviceBase* input;
        TMidiDeviceBase* output;
    };

    void SetUp() override
    {
        WinMMTest::SetUp();
        manager = MidiManager::getInstance();
        manager->addDeviceControlListener(&control);
        manager->start();
        prefix = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).substr(0, 24) + " ";
    }

    void TearDown() override
    {
        manager->setDataListener(nullptr);
        manager->removeDeviceControlListener(&control);
        WinMMTest::TearDown();
    }

    BString name(const std::string& base) const { return BString((prefix + base).c_str()); }

    int addPort(bool isInput, const std::string& base)
    {
        FakeWinMMDriver::Port port;
        port.name = name(base);
        return isInput ? driver.addInput(port) : driver.addOutput(port);
    }

    // A new factory, whose first request scans whenever the last one came, and a full update.
    void renewFactory()
    {
        MidiWinFactory::destroyInstance();
        MidiWinFactory::allowRecreationForTests();
        manager->addFactory(MidiWinFactory::getInstance());
        manager->updateDevices(true, true);
    }

    // New ports "<tag> in" and "<tag> out", opened by the manager and routed one to the other.
    Thru openThru(const std::string& tag)
    {
        Thru thru{addPort(true, tag + " in"), addPort(false, tag + " out"), nullptr, nullptr};
        renewFactory();
        const int in = manager->findDeviceByName(name(tag + " in"), true);
        const int out = manager->findDeviceByName(name(tag + " out"), false);
        if (in < 0 || out < 0)
            throw std::runtime_error("the new ports were not found");
        manager->openInput(in);
        manager->openOutput(out);
        TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
        const BString inAlias = name(tag + " route in");
        const BString outAlias = name(tag + " route out");
        TMidiAlias* inRole = aliases->getAlias(inAlias, TMidiAlias::kInput, true, -1);
        TMidiAlias* outRole = aliases->getAlias(outAlias, TMidiAlias::kOutput, true, -1);
        aliases->setAlias(inAlias, TMidiAlias::kInput, inAlias, name(tag + " in"), true);
        aliases->setAlias(outAlias, TMidiAlias::kOutput, outAlias, name(tag + " out"), true);
        TMidiRouter::getInstance()->addRoute(outRole, inRole);
        thru.input = manager->getInput(in)->getDeviceObject();
        thru.output = manager->getOutput(out)->getDeviceObject();
        return thru;
    }

    MidiManager* manager = nullptr;
    RecordingControlListener control;
    std::string prefix;
};

class ThrowingDataListener : public MidiManagerDataListener
{
public:
    void midiDataReceived(int, std::int64_t, const unsigned char*, int, int*) override
    {
        throw std::runtime_error("listener failed");
    }
};

// Asks the factory for its ports every 100 ms, as an open port dialog does; each request moves
// the factory's rescan window.
class PortListRequester
{
public:
    PortListRequester()
        : thread([this] {
              while (!stop.load())
              {
                  BStringList names;
                  MidiWinFactory::getInstance()->getDisplayNames(true, names);
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              }
          })
    {
    }
    ~PortListRequester()
    {
        stop.store(true);
        thread.join();
    }

private:
    std::atomic<bool> stop{false};
    std::thread thread;
};

std::vector<unsigned char> sysExOf(int length)
{
    std::vector<unsigned char> sysex(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        sysex[static_cast<size_t>(i)] = static_cast<unsigned char>(i % 0x80);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    return sysex;
}
} // namespace

// The driver hands a SysEx over in buffers of 1024 bytes, so the last piece of one of 1025 to
// 1027 bytes is F7 alone or data bytes up to F7: still SysEx, to go out as a long message.
TEST_F(WinMMManager, ThruSendsEveryPieceOfALongSysExAsALongMessage)
{
    const Thru thru = openThru("thru");
    for (const int length : {1025, 1026, 1027, 1028})
    {
        SCOPED_TRACE("SysEx of " + std::to_string(length) + " bytes");
        const std::vector<unsigned char> sysex = sysExOf(length);
        const size_t before = driver.sentTo(thru.outputId).size();
        ASSERT_EQ(driver.feedSysEx(thru.inputId, sysex.data(), length, 0), 2);
        driver.drain();
        const auto sent = driver.sentTo(thru.outputId);
        ASSERT_EQ(sent.size() - before, 2u);
        std::vector<unsigned char> joined;
        for (size_t i = before; i < sent.size(); ++i)
        {
            EXPECT_FALSE(sent[i].isShort) << "piece " << i - before;
            joined.insert(joined.end(), sent[i].bytes.begin(), sent[i].bytes.end());
        }
        EXPECT_EQ(joined, sysex);
    }
}

struct CallbackFailureCase
{
    const char* what;
    unsigned prepareResult;
    unsigned longMsgResult;
    bool listenerThrows;
    bool outputFails; // else the input counts the failure
};

// A failure on the data path inside the input driver's callback must neither leave the callback
// (WinMM would end the process) nor cost the input a buffer: it is counted, told once, and the
// data flows again once the cause is gone.
TEST_F(WinMMManager, FailuresInsideTheInputCallbackAreCountedAndReportedOnce)
{
    const CallbackFailureCase cases[] = {
        {"prepare fails", WinMM::kError, WinMM::kNoError, false, true},
        {"long message refused", WinMM::kNoError, WinMM::kError, false, true},
        {"data listener throws", WinMM::kNoError, WinMM::kNoError, true, false},
    };
    constexpr int kMessages = 20; // more than the input's 16 buffers
    ThrowingDataListener throwing;
    for (const CallbackFailureCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        const Thru thru = openThru(c.what);
        control.clear();
        const int escapedBefore = driver.escapedExceptions();
        driver.outPrepareResult = c.prepareResult;
        driver.outLongMsgResult = c.longMsgResult;
        manager->setDataListener(c.listenerThrows ? &throwing : nullptr);

        const unsigned char sysex[] = {0xF0, 0x7D, 0x01, 0x02, 0xF7};
        for (int i = 0; i < kMessages; ++i)
            driver.feedSysEx(thru.inputId, sysex, 5, 0);
        driver.drain();

        EXPECT_EQ(driver.escapedExceptions() - escapedBefore, 0);
        EXPECT_EQ(driver.lostPieces(), 0) << "every buffer went back to the driver";
        const TMidiDeviceBase* failing = c.outputFails ? thru.output : thru.input;
        EXPECT_EQ(failing->failureCount(), static_cast<std::uint32_t>(kMessages));
        const auto errors = control.texts("error");
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(failing->getDescriptor()->displayName().CStr()), std::string::npos) << errors[0];

        driver.outPrepareResult = WinMM::kNoError;
        driver.outLongMsgResult = WinMM::kNoError;
        manager->setDataListener(nullptr);
        driver.feedSysEx(thru.inputId, sysex, 5, 0);
        driver.drain();
        const auto sent = driver.sentTo(thru.outputId);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back().bytes, std::vector<unsigned char>(sysex, sysex + 5));
    }
}

struct ReplugCase
{
    const char* what;
    bool presentAtStart;
    // true: plug in, false: unplug.
    std::vector<bool> steps;
};

// Plugging a port in and out faster than the notifier's debounce while the port list keeps
// being asked for: every request moves the factory's rescan window, yet the update that the
// broadcast starts must see the ports as they are now.
TEST_F(WinMMManager, BroadcastUpdateSeesTheFinalPortsWhileRequestsKeepComing)
{
    const ReplugCase cases[] = {
        {"in out in", false, {true, false, true}},
        {"out in out", true, {false, true, false}},
    };
    addPort(true, "base");
    for (const ReplugCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        const BString flip = name(std::string(c.what) + " flip");
        const auto isPresent = [&] {
            MMDevIn* record = manager->getInput(manager->findDeviceByName(flip, true));
            return record != nullptr && record->present.load() != 0;
        };
        if (c.presentAtStart)
            addPort(true, std::string(c.what) + " flip");
        renewFactory();
        ASSERT_EQ(isPresent(), c.presentAtStart);
        PortListRequester requester;
        for (const bool plugIn : c.steps)
        {
            if (plugIn)
                addPort(true, std::string(c.what) + " flip");
            else
                driver.removeLastInput();
            ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
        }
        const bool wanted = c.steps.back();
        EXPECT_TRUE(lumo_test::waitFor([&] { return isPresent() == wanted; }, 3000))
            << "the final port list arrives within 3 s of the last change";
    }
}
