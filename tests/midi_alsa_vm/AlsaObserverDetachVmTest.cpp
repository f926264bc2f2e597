// The factory detaches its observer from the sequencer before deleting it; an announcement may
// be inside the observer (on the sequencer's reader thread) at that moment. The detach must wait
// for it, or the observer is freed under the running call.
#include "midi/alsa/AlsaCompanion.h"
#include "midi/alsa/AlsaSequencer.h"
#include "support/DetachWhileInside.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace
{
class HeldObserver : public AlsaSequencer::Observer
{
public:
    explicit HeldObserver(lumo_test::DetachWhileInside& probe_) : probe(probe_) {}
    void alsaPortsChanged() override { probe.inside(); }

private:
    lumo_test::DetachWhileInside& probe;
};
} // namespace

TEST(AlsaObserverDetach, DetachWaitsForAnAnnouncementUnderWay)
{
    if (access("/dev/snd/seq", F_OK) != 0)
        GTEST_SKIP() << "no ALSA sequencer here; scripts/vm/alsa-tests.sh runs these tests in the test VM";
    lumo_test::DetachWhileInside probe;
    HeldObserver observer(probe);
    AlsaSequencer sequencer("lumo-test", &observer);
    ASSERT_TRUE(sequencer.connect());
    auto keys = AlsaCompanion::open("keys");
    ASSERT_TRUE(keys);
    ASSERT_GE(keys->addPort("out", true), 0);
    EXPECT_TRUE(probe.detachWaitedForTheCall([&] { sequencer.detachObserver(); }));
}
