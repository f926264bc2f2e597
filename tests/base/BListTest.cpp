#include "base/BList.h"
#include "base/BString.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// ---- BList ---------------------------------------------------------------------------------

TEST(BList, GrowsTo16ThenDoubles)
{
    BList<int*> list;
    EXPECT_EQ(list.Capacity(), 0);
    int values[40] = {};
    list.Add(&values[0]);
    EXPECT_EQ(list.Capacity(), 16);
    for (int i = 1; i < 16; ++i)
        list.Add(&values[i]);
    EXPECT_EQ(list.Capacity(), 16);
    list.Add(&values[16]);
    EXPECT_EQ(list.Capacity(), 32);
    for (int i = 17; i < 33; ++i)
        list.Add(&values[i]);
    EXPECT_EQ(list.Capacity(), 64);
    ASSERT_EQ(list.Count(), 33);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(list[i], &values[i]) << "elements kept across growth";
}

TEST(BList, AccessorAndSearchAreSafeOutsideTheRange)
{
    BList<int*> list;
    int a = 1;
    int b = 2;
    EXPECT_EQ(list.Get(0), nullptr);
    list.Add(&a);
    list.Add(&b);
    list.Add(&a);
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_EQ(list.Get(3), nullptr);
    EXPECT_EQ(list.IndexOf(&a), 0) << "first from the front";
    EXPECT_EQ(list.IndexOf(&b), 1);
    int c = 3;
    EXPECT_EQ(list.IndexOf(&c), -1);
    EXPECT_FALSE(list.Contains(&c));
    list.Set(5, &c); // out of range: ignored
    EXPECT_EQ(list.Count(), 3);
    list.Set(1, &c);
    EXPECT_EQ(list[1], &c);
}

TEST(BList, DeleteMovesTheFollowingElementsDown)
{
    BList<int*> list;
    int v[4] = {};
    for (int& x : v)
        list.Add(&x);
    EXPECT_FALSE(list.Delete(-1));
    EXPECT_FALSE(list.Delete(4));
    EXPECT_TRUE(list.Delete(1));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0], &v[0]);
    EXPECT_EQ(list[1], &v[2]);
    EXPECT_EQ(list[2], &v[3]);
    EXPECT_TRUE(list.Delete(2));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list[2], nullptr);
}

TEST(BList, ClearKeepsTheArrayAndClearAndReserveReplacesIt)
{
    BList<int*> list;
    int v = 0;
    for (int i = 0; i < 20; ++i)
        list.Add(&v);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 32);
    list.ClearAndReserve(5);
    EXPECT_EQ(list.Capacity(), 5);
    list.ClearAndReserve(-3);
    EXPECT_EQ(list.Capacity(), 0);
    list.Add(&v);
    EXPECT_EQ(list.Capacity(), 16);
}

TEST(BList, SetCapacityCutsOrKeepsElements)
{
    BList<int*> list;
    int v[10] = {};
    for (int& x : v)
        list.Add(&x);
    list.SetCapacity(4, true);
    EXPECT_EQ(list.Capacity(), 4);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[3], &v[3]);
    list.SetCapacity(8, true);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list[0], &v[0]);
    // Without keep nothing is carried over, so no element may remain counted.
    list.SetCapacity(12, false);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Get(0), nullptr);
    list.Add(&v[9]);
    list.SetCapacity(12, false); // same capacity: still empties
    EXPECT_EQ(list.Count(), 0);
}

TEST(BList, CopiesAreIndependentArrays)
{
    BList<int*> list;
    int a = 0;
    int b = 0;
    list.Add(&a);
    BList<int*> copy(list);
    copy.Add(&b);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(copy.Count(), 2);
    list = copy;
    EXPECT_EQ(list.Count(), 2);
    BList<int*> moved(std::move(copy));
    EXPECT_EQ(moved.Count(), 2);
    int sum = 0;
    for (int* p : moved)
        sum += (p == &a) + 2 * (p == &b);
    EXPECT_EQ(sum, 3);
}

TEST(BListOfStrings, HoldsStringsByValueAndReleasesThemWhenTheyLeave)
{
    BList<BString> list;
    EXPECT_TRUE(list.Get(0).IsEmpty());
    BString s;
    s.Reserve(64);
    s.Assign("abc");
    const char* block = s.CStr();
    list.Add(s);
    EXPECT_EQ(list[0].CStr(), block) << "stored by sharing";
    s.Append("d");
    EXPECT_STREQ(list[0].CStr(), "abc") << "changing the original copies first";
    EXPECT_EQ(list.IndexOf(BString("abc")), 0);

    // Once the list lets go, the original is unshared again and changes in place.
    BString t;
    t.Reserve(64);
    t.Assign("xyz");
    const char* tBlock = t.CStr();
    list.Add(t);
    ASSERT_TRUE(list.Delete(1));
    t.Append("!");
    EXPECT_EQ(t.CStr(), tBlock);

    list.Add(t);
    list.Clear();
    t.Append("?");
    EXPECT_EQ(t.CStr(), tBlock);
}

// ---- BOwnedList ------------------------------------------------------------------------------

struct Counted
{
    explicit Counted(int id, std::vector<int>* deletions = nullptr) : id(id), deletions(deletions) { ++alive; }
    virtual ~Counted()
    {
        --alive;
        if (deletions)
            deletions->push_back(id);
    }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

    static int alive;
    int id;
    std::vector<int>* deletions;
};
int Counted::alive = 0;

struct Derived : Counted
{
    explicit Derived(int id, int* flag) : Counted(id), flag(flag) {}
    ~Derived() override { ++*flag; }
    int* flag;
};

class BOwnedListTest : public ::testing::Test
{
protected:
    void SetUp() override { Counted::alive = 0; }
    void TearDown() override { EXPECT_EQ(Counted::alive, 0) << "every element deleted exactly once"; }
};

TEST_F(BOwnedListTest, DestructorDeletesEveryElementThroughTheVirtualDestructor)
{
    int derivedGone = 0;
    {
        BOwnedList<Counted*> list;
        list.Add(new Counted(1));
        list.Add(new Derived(2, &derivedGone));
        EXPECT_EQ(Counted::alive, 2);
    }
    EXPECT_EQ(derivedGone, 1);
}

TEST_F(BOwnedListTest, DeleteDeletesAndExtractHandsOver)
{
    BOwnedList<Counted*> list;
    auto* a = new Counted(1);
    auto* b = new Counted(2);
    auto* c = new Counted(3);
    list.Add(a);
    list.Add(b);
    list.Add(c);

    Counted* extracted = list.Extract(b);
    EXPECT_EQ(extracted, b);
    EXPECT_EQ(Counted::alive, 3) << "Extract does not delete";
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Extract(b), nullptr) << "no longer in the list";
    delete extracted;

    EXPECT_TRUE(list.Delete(0));
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_FALSE(list.Delete(5));

    Counted* last = list.ExtractAt(0);
    EXPECT_EQ(last, c);
    EXPECT_EQ(list.ExtractAt(0), nullptr);
    delete last;
}

TEST_F(BOwnedListTest, DeleteItemFindsByPointer)
{
    BOwnedList<Counted*> list;
    auto* a = new Counted(1);
    list.Add(a);
    list.Add(new Counted(2));
    Counted outsider(3);
    EXPECT_FALSE(list.DeleteItem(&outsider));
    EXPECT_TRUE(list.DeleteItem(a));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0]->id, 2);
}

TEST_F(BOwnedListTest, SetReplacesAndDeletesTheOldElement)
{
    BOwnedList<Counted*> list;
    auto* a = new Counted(1);
    list.Add(a);
    list.Set(0, a); // storing the same element again must not delete it
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_EQ(list[0]->id, 1);
    list.Set(0, new Counted(2));
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_EQ(list[0]->id, 2);
}

TEST_F(BOwnedListTest, ClearAndClearAndReserveDeleteEverything)
{
    BOwnedList<Counted*> list;
    for (int i = 0; i < 20; ++i)
        list.Add(new Counted(i));
    list.Clear();
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(list.Capacity(), 32);
    for (int i = 0; i < 3; ++i)
        list.Add(new Counted(i));
    list.ClearAndReserve(32); // same capacity: only the elements go
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(list.Capacity(), 32);
    list.Add(new Counted(9));
    list.ClearAndReserve(4);
    EXPECT_EQ(list.Capacity(), 4);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(BOwnedListTest, SetCapacityDeletesTheCutElementsLastFirst)
{
    std::vector<int> deletions;
    BOwnedList<Counted*> list;
    for (int i = 0; i < 6; ++i)
        list.Add(new Counted(i, &deletions));
    list.SetCapacity(3, true);
    EXPECT_EQ(deletions, (std::vector<int>{5, 4, 3}));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[2]->id, 2);
    list.SetCapacity(10, false);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(Counted::alive, 0);
}

TEST_F(BOwnedListTest, MoveToHandsTheOwnershipOver)
{
    BOwnedList<Counted*> source;
    BOwnedList<Counted*> target;
    target.Add(new Counted(1));
    for (int i = 2; i <= 4; ++i)
        source.Add(new Counted(i));
    source.MoveTo(target);
    EXPECT_EQ(source.Count(), 0);
    ASSERT_EQ(target.Count(), 4);
    EXPECT_EQ(target.Capacity(), 4);
    EXPECT_EQ(target[3]->id, 4);
    source.MoveTo(source); // moving to itself keeps everything
    target.MoveTo(target);
    EXPECT_EQ(target.Count(), 4);
    EXPECT_EQ(Counted::alive, 4);
}

TEST_F(BOwnedListTest, MoveToAPlainListLeavesTheElementsToItsOwner)
{
    BList<Counted*> plain;
    {
        BOwnedList<Counted*> source;
        source.Add(new Counted(1));
        source.MoveTo(plain);
    }
    ASSERT_EQ(plain.Count(), 1);
    EXPECT_EQ(Counted::alive, 1) << "the emptied owner deleted nothing";
    delete plain[0];
}

TEST_F(BOwnedListTest, ADestructorThatLooksAtTheListSeesItWithoutItself)
{
    struct Watcher : Counted
    {
        Watcher(BOwnedList<Counted*>* list, int* seenCount) : Counted(0), list(list), seenCount(seenCount) {}
        ~Watcher() override { *seenCount = list->IndexOf(this); }
        BOwnedList<Counted*>* list;
        int* seenCount;
    };
    int index = 99;
    BOwnedList<Counted*> list;
    list.Add(new Counted(1));
    list.Add(new Watcher(&list, &index));
    list.Clear();
    EXPECT_EQ(index, -1);
}
} // namespace
