// The program's own JACK ports: "LUMO In" and "LUMO Thru" are listed while a server runs,
// registered on our client when opened (connected to nothing), and gone again when closed.
#include "midi/MidiManagerDev.h"
#include "midi/jack/JackCompanion.h"
#include "support/JackManagerFixture.h"

#include <gtest/gtest.h>

namespace
{
class JackOwnPorts : public JackManagerFixture
{
protected:
    JackOwnPorts() { listOwnPorts = true; }

    bool registered(const char* port) { return factory->getSession().portExists(std::string("lumo-test:") + port); }
};
} // namespace

TEST_F(JackOwnPorts, OthersSendIntoLumoInAndReadTheThruFromLumoThru)
{
    ASSERT_TRUE(server.start());
    const int in = waitForDevice("LUMO In", true);
    const int out = waitForDevice("LUMO Thru", false);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    EXPECT_FALSE(registered("LUMO In")) << "listed, not yet opened";
    CollectingDataListener data;
    manager->setDataListener(&data);
    route("LUMO In", "LUMO Thru");
    manager->openInput(in);
    manager->openOutput(out);
    ASSERT_TRUE(isOpen(in, true) && isOpen(out, false));
    ASSERT_TRUE(registered("LUMO In") && registered("LUMO Thru"));

    auto daw = JackCompanion::open("daw");
    ASSERT_TRUE(daw);
    ASSERT_TRUE(daw->addPort("out", true));
    ASSERT_TRUE(daw->addPort("in", false));
    EXPECT_EQ(daw->connectionCount("out"), 0) << "the program connects its own ports to nothing";
    ASSERT_TRUE(daw->connect(daw->fullName("out"), "lumo-test:LUMO In"));
    ASSERT_TRUE(daw->connect("lumo-test:LUMO Thru", daw->fullName("in")));
    ASSERT_TRUE(lumo_test::waitFor([&] { return daw->connectionCount("in") == 1; }, 10000));

    const std::vector<std::vector<unsigned char>> messages = {{0xC0, 7}, {0xF0, 0x77, 0x41, 0x42, 0xF7}};
    for (const auto& message : messages)
        ASSERT_TRUE(daw->send("out", message));
    ASSERT_TRUE(lumo_test::waitFor([&] { return daw->receivedCount("in") >= messages.size(); }, 10000));
    const auto thru = daw->received("in");
    const auto shown = data.messages();
    ASSERT_EQ(thru.size(), messages.size());
    ASSERT_EQ(shown.size(), messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i)
    {
        EXPECT_EQ(thru[i].bytes, messages[i]) << "thru " << i;
        EXPECT_EQ(shown[i].second, messages[i]) << "input " << i;
    }

    // Someone else taking their connection down leaves our port open.
    ASSERT_TRUE(daw->disconnectAll("out"));
    manager->updateDevices(true, true);
    EXPECT_TRUE(isOpen(in, true));

    manager->closeInput(in, true);
    manager->closeOutput(out, true);
    EXPECT_FALSE(registered("LUMO In"));
    EXPECT_FALSE(registered("LUMO Thru"));
}

TEST_F(JackOwnPorts, AreListedOnceEachAndOnlyWhileAServerRuns)
{
    for (bool isInput : {true, false})
    {
        BStringList names;
        factory->getDisplayNames(isInput, names);
        EXPECT_EQ(names.Count(), 0) << "no server, no JACK port of ours";
    }
    ASSERT_TRUE(server.start());
    const int in = waitForDevice("LUMO In", true);
    ASSERT_GE(in, 0);
    manager->openInput(in);
    ASSERT_TRUE(isOpen(in, true));
    ASSERT_TRUE(registered("LUMO In"));
    // The factory lists our own port, then the session's ports of other clients, where our
    // registered port must not show up a second time.
    EXPECT_TRUE(factory->getSession().listPorts(false).empty());
    EXPECT_TRUE(factory->getSession().listPorts(true).empty());
}
