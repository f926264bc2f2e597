// The two bound devices follow the orders of events users meet: switched on after the start,
// unplugged while other things change, plugged in and out faster than the device-change debounce.
#include "support/MidiManagerFixture.h"

#include "midi/TMidiAliasBinding.h"
#include "midi/TMidiDeviceListListener.h"

#include <thread>

namespace
{
// The program's side: applies the binding after every alias change and device-list change.
class BindingOwner : public TMidiAliasChangeListener, public TMidiDeviceListListener
{
public:
    BindingOwner(const BString& input, const BString& output) : binding(input, output) {}
    void aliasesChanged() override { binding.apply(); }
    void deviceListChanged() override { binding.apply(); }
    TMidiAliasBinding binding;
};

class AliasBindingTest : public MidiManagerFixture
{
protected:
    void SetUp() override
    {
        MidiManagerFixture::SetUp();
        owner = std::make_unique<BindingOwner>(name("input"), name("thru"));
        TMidiAliasManager::getInstance()->addListener(owner.get());
        manager->addDeviceListListener(owner.get());
    }

    void TearDown() override
    {
        manager->removeDeviceListListener(owner.get());
        TMidiAliasManager::getInstance()->removeListener(owner.get());
        MidiManagerFixture::TearDown();
    }

    void bind(const char* alias, int direction, const char* device)
    {
        TMidiAliasManager::getInstance()->setAlias(name(alias), direction, name(alias), name(device), true);
    }

    // A pass as the device-change notifier runs it, on a thread of its own.
    void notifierPass()
    {
        std::thread timerThread([this] { manager->updateDevices(true, true); });
        timerThread.join();
    }

    bool isOpen(const char* device, bool isInput)
    {
        const int index = manager->findDeviceByName(name(device), isInput);
        MidiManagerDev* record = index >= 0 ? manager->getDevice(index, isInput) : nullptr;
        return record != nullptr && record->present.load() != 0 && record->isDeviceOpen();
    }

    std::unique_ptr<BindingOwner> owner;
};
} // namespace

TEST_F(AliasBindingTest, BoundDevicesSwitchedOnAfterTheStartAreOpened)
{
    bind("input", TMidiAlias::kInput, "Keys");
    bind("thru", TMidiAlias::kOutput, "Synth");
    owner->binding.apply();
    EXPECT_FALSE(isOpen("Keys", true));

    const int keys = factory.addPort(true, name("Keys"));
    notifierPass();
    EXPECT_TRUE(isOpen("Keys", true));
    const int synth = factory.addPort(false, name("Synth"));   // the thru device comes later still
    notifierPass();
    EXPECT_TRUE(isOpen("Synth", false));

    TMidiRouter::getInstance()->addRoute(TMidiAliasManager::getInstance()->getAlias(name("thru"), TMidiAlias::kOutput, false, -1),
                                         TMidiAliasManager::getInstance()->getAlias(name("input"), TMidiAlias::kInput, false, -1));
    EXPECT_TRUE(factory.feedShort(keys, 0x90, 60, 100));
    EXPECT_EQ(factory.sentTo(synth).size(), 1u);
}

TEST_F(AliasBindingTest, AnInputUnpluggedWhileOtherBindingsChangeIsReopenedWhenItReturns)
{
    const int keys = factory.addPort(true, name("Keys"));
    factory.addPort(false, name("Synth"));
    factory.addPort(false, name("Other"));
    notifierPass();
    bind("input", TMidiAlias::kInput, "Keys");
    bind("thru", TMidiAlias::kOutput, "Synth");
    ASSERT_TRUE(isOpen("Keys", true));

    ASSERT_TRUE(factory.removePort(keys));
    notifierPass();
    factory.addPort(true, name("Pad"));              // a new device appears meanwhile
    notifierPass();
    bind("thru", TMidiAlias::kOutput, "Other");      // and the user rebinds the thru
    EXPECT_TRUE(isOpen("Other", false));
    EXPECT_FALSE(isOpen("Keys", true));

    factory.addPort(true, name("Keys"));
    notifierPass();
    EXPECT_TRUE(isOpen("Keys", true));
    EXPECT_FALSE(isOpen("Pad", true));
}

// Each change lands between two passes, or several land before one pass (faster than the
// debounce); whatever the grouping, the final state is the one after the last change.
struct ReplugCase
{
    const char* name;
    bool passAfterEachChange;
};

class AliasBindingReplugTest : public AliasBindingTest, public ::testing::WithParamInterface<ReplugCase>
{
};

TEST_P(AliasBindingReplugTest, InOutAndInAgainEndsOpen)
{
    bind("input", TMidiAlias::kInput, "Keys");
    owner->binding.apply();
    int keys = factory.addPort(true, name("Keys"));
    if (GetParam().passAfterEachChange)
        notifierPass();
    ASSERT_TRUE(factory.removePort(keys));
    if (GetParam().passAfterEachChange)
        notifierPass();
    keys = factory.addPort(true, name("Keys"));
    notifierPass();
    EXPECT_TRUE(isOpen("Keys", true));
    EXPECT_TRUE(factory.feedShort(keys, 0xC0, 1)) << "the new connection delivers";
}

INSTANTIATE_TEST_SUITE_P(Grouping, AliasBindingReplugTest,
                         ::testing::Values(ReplugCase {"OnePassEach", true}, ReplugCase {"OnePassForAll", false}),
                         [](const auto& info) { return std::string(info.param.name); });
