// The factory detaches its observer from the session before deleting it; a notification of the
// server's (JACK's own thread) may be inside the observer at that moment. The detach must wait
// for it, or the observer is freed under the running call.
#include "midi/jack/JackCompanion.h"
#include "midi/jack/JackSession.h"
#include "support/DetachWhileInside.h"
#include "support/JackServerProcess.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace
{
class HeldObserver : public JackSession::Observer
{
public:
    explicit HeldObserver(lumo_test::DetachWhileInside& probe_) : probe(probe_) {}
    void jackPortsChanged() override { probe.inside(); }
    void jackServerGone() override { probe.inside(); }

private:
    lumo_test::DetachWhileInside& probe;
};
} // namespace

TEST(JackObserverDetach, DetachWaitsForANotificationUnderWay)
{
    JackServerProcess server;
    ASSERT_TRUE(server.start());
    lumo_test::DetachWhileInside probe;
    HeldObserver observer(probe);
    JackSession session("lumo-test", &observer);
    ASSERT_TRUE(session.connect());
    // Another client coming is announced to ours; the server waits for our notification thread
    // meanwhile, so the newcomer opens on a thread of its own.
    std::unique_ptr<JackCompanion> synth;
    std::thread newcomer([&] { synth = JackCompanion::open("synth"); });
    EXPECT_TRUE(probe.detachWaitedForTheCall([&] { session.detachObserver(); }));
    newcomer.join();
    EXPECT_NE(synth, nullptr);
}
