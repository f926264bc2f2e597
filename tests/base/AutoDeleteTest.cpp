// The shutdown registry: order of deletion, objects that vanish early, and objects created
// while it is being emptied.
#include "base/AutoDelete.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
std::vector<std::string>& deletionLog()
{
    static std::vector<std::string> log;
    return log;
}

class Logged : public AutoDelete
{
public:
    explicit Logged(std::string objectName, std::function<void()> onDestroy = {})
        : label(std::move(objectName)), whenDestroyed(std::move(onDestroy))
    {
    }
    ~Logged() override
    {
        deletionLog().push_back(label);
        if (whenDestroyed)
            whenDestroyed();
    }

private:
    std::string label;
    std::function<void()> whenDestroyed;
};

// Starts each test from an empty registry (other tests in the process may have left objects).
class AutoDeleteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AutoDelete::deleteAll();
        deletionLog().clear();
    }
};
} // namespace

TEST_F(AutoDeleteTest, DeletesFirstRegisteredFirst)
{
    new Logged("first"); // owned by the registry
    new Logged("second");
    new Logged("third");
    EXPECT_EQ(AutoDelete::registeredCount(), 3);

    AutoDelete::deleteAll();
    EXPECT_EQ(deletionLog(), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(AutoDelete::registeredCount(), 0);
}

TEST_F(AutoDeleteTest, ObjectDeletedEarlierIsNotDeletedAgain)
{
    new Logged("a");
    auto* early = new Logged("early");
    new Logged("b");
    delete early;
    EXPECT_EQ(AutoDelete::registeredCount(), 2);

    AutoDelete::deleteAll();
    EXPECT_EQ(deletionLog(), (std::vector<std::string>{"early", "a", "b"}));
}

TEST_F(AutoDeleteTest, ObjectDeletedByAnEarlierOnesDestructorIsSkipped)
{
    Logged* dependent = nullptr;
    new Logged("owner", [&] { delete dependent; });
    dependent = new Logged("dependent");

    AutoDelete::deleteAll();
    EXPECT_EQ(deletionLog(), (std::vector<std::string>{"owner", "dependent"}));
}

TEST_F(AutoDeleteTest, ObjectCreatedDuringDeleteAllSurvivesIt)
{
    Logged* latecomer = nullptr;
    new Logged("creator", [&] { latecomer = new Logged("latecomer"); });

    AutoDelete::deleteAll();
    ASSERT_NE(latecomer, nullptr);
    EXPECT_EQ(deletionLog(), (std::vector<std::string>{"creator"}));
    EXPECT_EQ(AutoDelete::registeredCount(), 0) << "it was never registered";

    AutoDelete::deleteAll(); // nothing registered: must not reach the latecomer
    EXPECT_EQ(deletionLog().size(), 1u);
    delete latecomer;
    EXPECT_EQ(deletionLog().back(), "latecomer");
}

TEST_F(AutoDeleteTest, RegistryStartsAfreshAfterDeleteAll)
{
    new Logged("before");
    AutoDelete::deleteAll();
    new Logged("after");
    EXPECT_EQ(AutoDelete::registeredCount(), 1);
    AutoDelete::deleteAll();
    EXPECT_EQ(deletionLog(), (std::vector<std::string>{"before", "after"}));
}

TEST_F(AutoDeleteTest, NestedDeleteAllFromADestructorDoesNothing)
{
    new Logged("outer", [] { AutoDelete::deleteAll(); });
    new Logged("next");
    AutoDelete::deleteAll();
    EXPECT_EQ(deletionLog(), (std::vector<std::string>{"outer", "next"}));
}
