// A device record read from one thread while another replaces its device object.
#include "support/MidiManagerFixture.h"

#include <atomic>
#include <thread>

using MidiDeviceRecordThreadsTest = MidiManagerFixture;

TEST_F(MidiDeviceRecordThreadsTest, IsDeviceOpenIsSafeWhileAnUpdateReplacesTheDeviceObject)
{
    factory.addPort(false, name("Replaced Out"));
    const int index = indexOf(name("Replaced Out"), false);
    ASSERT_GE(index, 0);
    manager->openOutput(index);
    MidiManagerDev* record = manager->getDevice(index, false);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(record->isDeviceOpen());

    // The reader stands for settings code asking without the manager's lock; the replacements
    // for an update pass that re-creates the record's device object.
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!done.load())
        {
            record->isDeviceOpen();
            reads.fetch_add(1);
        }
    });
    for (int i = 0; i < 300; ++i)
    {
        record->createDevice();
        const int before = reads.load();
        while (reads.load() == before) // let the reader see this object before it goes
            std::this_thread::yield();
    }
    done = true;
    reader.join();
    EXPECT_FALSE(record->isDeviceOpen()) << "a re-created device object starts closed";
    manager->openOutput(index);
    EXPECT_TRUE(record->isDeviceOpen());
}
