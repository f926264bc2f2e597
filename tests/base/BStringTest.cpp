#include "base/BString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace
{
// ---- construction, sharing and copy-on-write ------------------------------------------------

TEST(BStringSharing, CopiesShareTheBlockUntilOneOfThemChanges)
{
    BString original("abc");
    BString copy(original);
    EXPECT_EQ(original.CStr(), copy.CStr()) << "a copy must not allocate";

    copy.Append("def");
    EXPECT_STREQ(original.CStr(), "abc");
    EXPECT_STREQ(copy.CStr(), "abcdef");
    EXPECT_NE(original.CStr(), copy.CStr());
}

TEST(BStringSharing, EveryChangingOperationLeavesTheOtherCopyAlone)
{
    const BString original("Hello World");
    const auto check = [&](const char* what, auto change) {
        BString copy(original);
        change(copy);
        EXPECT_STREQ(original.CStr(), "Hello World") << what;
    };
    check("Append char", [](BString& s) { s.Append('!'); });
    check("Assign text", [](BString& s) { s.Assign("xy"); });
    check("Clear", [](BString& s) { s.Clear(); });
    check("Reset", [](BString& s) { s.Reset(4); });
    check("SetLength cut", [](BString& s) { s.SetLength(3); });
    check("SetLength negative", [](BString& s) { s.SetLength(-1); });
    check("Reserve", [](BString& s) { s.Reserve(100); });
    check("Buffer", [](BString& s) { s.Buffer()[0] = 'J'; });
    check("ToUpper", [](BString& s) { s = s.ToUpper(); });
}

TEST(BStringSharing, AnUnsharedBlockIsChangedInPlace)
{
    BString s;
    s.Reserve(32);
    s.Assign("abc");
    const char* before = s.CStr();
    s.Append("def");
    s.SetLength(2);
    s.Assign("xyz");
    EXPECT_EQ(before, s.CStr());
    EXPECT_STREQ(s.CStr(), "xyz");
    EXPECT_EQ(s.Capacity(), 32);
}

TEST(BStringSharing, AppendGrowsToTheExactLength)
{
    BString s("abc");
    s.Append("de");
    EXPECT_EQ(s.Capacity(), 5);
    s.Append(BString("f"));
    EXPECT_EQ(s.Capacity(), 6);
    EXPECT_STREQ(s.CStr(), "abcdef");
}

TEST(BStringSharing, AppendingAStringToItselfDoublesIt)
{
    BString s("ab");
    s.Append(s);
    EXPECT_STREQ(s.CStr(), "abab");
    s.Append(s.CStr() + 1); // a pointer into its own bytes, block reallocated on the way
    EXPECT_STREQ(s.CStr(), "ababbab");
}

TEST(BStringSharing, AssignFromOwnBytesAndSelfAssignment)
{
    BString s;
    s.Reserve(16);
    s.Assign("abcdef");
    s.Assign(s.CStr() + 2); // overlapping move inside the reused block
    EXPECT_STREQ(s.CStr(), "cdef");
    s = s; // NOLINT: self-assignment must be harmless
    s.Assign(s);
    EXPECT_STREQ(s.CStr(), "cdef");
    BString moved(std::move(s));
    EXPECT_STREQ(moved.CStr(), "cdef");
    EXPECT_STREQ(s.CStr(), ""); // NOLINT: moved-from strings are empty and usable
    s.Append("x");
    EXPECT_STREQ(s.CStr(), "x");
}

TEST(BStringConstruction, LimitsNullTextsAndCharacters)
{
    EXPECT_STREQ(BString("abcdef", 3).CStr(), "abc");
    EXPECT_STREQ(BString("ab", 10).CStr(), "ab");
    EXPECT_STREQ(BString(static_cast<const char*>(nullptr)).CStr(), "");
    EXPECT_STREQ(BString("abc", 0).CStr(), "");
    EXPECT_STREQ(BString('x').CStr(), "x");
    EXPECT_STREQ(BString('\0').CStr(), "");
    EXPECT_STREQ(BString(std::string("std")).CStr(), "std");
    EXPECT_EQ(BString().Length(), 0);
    EXPECT_TRUE(BString().IsEmpty());
    // A limit longer than an unterminated buffer's text must stop at the NUL, not read on.
    const char bytes[4] = {'a', 'b', 0, 'z'};
    EXPECT_STREQ(BString(bytes, 4).CStr(), "ab");
}

TEST(BStringConstruction, ClearKeepsAnUnsharedBlockAndDropsASharedOne)
{
    BString s;
    s.Reserve(20);
    s.Assign("abc");
    s.Clear();
    EXPECT_EQ(s.Capacity(), 20);
    EXPECT_TRUE(s.IsEmpty());

    BString shared("abc");
    BString other(shared);
    shared.Clear();
    EXPECT_EQ(shared.Capacity(), 0);
    EXPECT_STREQ(other.CStr(), "abc");
}

TEST(BStringConstruction, ResetAndSetLength)
{
    BString s("abcdef");
    s.SetLength(3);
    EXPECT_STREQ(s.CStr(), "abc");
    s = "abcdef";
    s.SetLength(10);
    EXPECT_STREQ(s.CStr(), "abcdef");
    EXPECT_GE(s.Capacity(), 10);
    const int capacity = s.Capacity();
    s.SetLength(-1);
    EXPECT_STREQ(s.CStr(), "");
    EXPECT_EQ(s.Capacity(), capacity);

    s.Reset(50);
    EXPECT_GE(s.Capacity(), 50);
    EXPECT_TRUE(s.IsEmpty());
    std::strcpy(s.Buffer(), "filled by a system call");
    EXPECT_EQ(s.Length(), 23);
}

// ---- comparison and search --------------------------------------------------------------------

TEST(BStringCompare, IgnoringCase)
{
    EXPECT_LT(BString::Compare("abc", "ABD", true), 0);
    EXPECT_GT(BString::Compare("abc", "ab", true), 0);
    EXPECT_LT(BString::Compare("ab", "abc", true), 0);
    EXPECT_EQ(BString::Compare("abX", "ABY", true, 2), 0);
    EXPECT_EQ(BString::Compare("MiDi", "midi", true), 0);
    // Bytes 0x80-0xFF compare as negative values and so come before every ASCII byte.
    EXPECT_LT(BString::Compare("\xC3\xA9", "A", true), 0);
    // Only ASCII letters fold; 0xE9 and 0xC9 stay different.
    EXPECT_NE(BString::Compare("\xE9", "\xC9", true), 0);
}

TEST(BStringCompare, CaseSensitiveUsesUnsignedBytes)
{
    EXPECT_LT(BString::Compare("A", "a"), 0);
    EXPECT_GT(BString::Compare("\xC3", "A"), 0);
    EXPECT_LT(BString::Compare("ab", "abc"), 0);
    EXPECT_EQ(BString::Compare("abX", "abY", false, 2), 0);
    EXPECT_TRUE(BString("Current") < BString("current"));
    EXPECT_TRUE(BString("abc") == "abc");
    EXPECT_FALSE(BString("abc") == BString("ABC"));
    EXPECT_TRUE(BString("abc").Equals("ABC", true));
    EXPECT_TRUE("x" != BString("y"));
}

TEST(BStringSearch, StartsEndsAndFind)
{
    EXPECT_FALSE(BString("abc").StartsWith(""));
    EXPECT_TRUE(BString("abc").StartsWith("ab"));
    EXPECT_FALSE(BString("abc").StartsWith("AB"));
    EXPECT_TRUE(BString("abc").StartsWith("AB", true));
    EXPECT_FALSE(BString("ab").StartsWith("abc", true));

    EXPECT_TRUE(BString("Port in").EndsWith(" In"));
    EXPECT_FALSE(BString("In").EndsWith(" In"));
    EXPECT_FALSE(BString("abc").EndsWith(""));

    EXPECT_EQ(BString("abc").FindNoCase(""), -1);
    EXPECT_EQ(BString("Hello MIDI world").FindNoCase("midi"), 6);
    EXPECT_EQ(BString("aaab").FindNoCase("AAB"), 1);
    EXPECT_EQ(BString("abc").FindNoCase("abcd"), -1);
}

TEST(BStringSearch, ReplaceFirstReplacesOnlyTheFirstOccurrenceFoundIgnoringCase)
{
    EXPECT_STREQ(BString("USB MIDI usb").ReplaceFirst("usb", "Serial").CStr(), "Serial MIDI usb");
    EXPECT_STREQ(BString("abc").ReplaceFirst("x", "y").CStr(), "abc");
    EXPECT_STREQ(BString("abc").ReplaceFirst("c", "").CStr(), "ab");
}

TEST(BStringDerived, SubString)
{
    const BString s("abcdef");
    EXPECT_STREQ(s.SubString(2, -1).CStr(), "cdef");
    EXPECT_STREQ(s.SubString(6, 3).CStr(), "");
    EXPECT_STREQ(s.SubString(0, 0).CStr(), "");
    EXPECT_STREQ(s.SubString(-3, 2).CStr(), "ab");
    EXPECT_STREQ(s.SubString(4, 100).CStr(), "ef");
    EXPECT_STREQ(s.SubString(100).CStr(), "");
}

TEST(BStringDerived, CaseMappingAndTrimLeaveHighBytesAlone)
{
    EXPECT_STREQ(BString("aZ\xE9-1").ToUpper().CStr(), "AZ\xE9-1");
    EXPECT_STREQ(BString("aZ\xC9-1").ToLower().CStr(), "az\xC9-1");
    EXPECT_STREQ(BString(" \t\r\n x y \x01").Trim().CStr(), "x y");
    EXPECT_STREQ(BString("\xA0x\xA0").Trim().CStr(), "\xA0x\xA0");
    EXPECT_STREQ(BString("   ").Trim().CStr(), "");
    const BString clean("clean");
    EXPECT_EQ(clean.Trim().CStr(), clean.CStr()) << "nothing removed: the block is shared";
}

TEST(BStringDerived, ConcatenationHasTheExactLength)
{
    const BString a("ab");
    const BString joined = a + "cd";
    EXPECT_STREQ(joined.CStr(), "abcd");
    EXPECT_EQ(joined.Capacity(), 4);
    EXPECT_STREQ(("x" + a).CStr(), "xab");
    EXPECT_STREQ((a + a).CStr(), "abab");
    EXPECT_STREQ((BString() + "").CStr(), "");
}

// ---- tokens and numbers -------------------------------------------------------------------

TEST(BStringNextToken, WalksHashSeparatedFields)
{
    const BString s("a#b#");
    int position = 0;
    EXPECT_STREQ(s.NextToken(position).CStr(), "a");
    EXPECT_EQ(position, 2);
    EXPECT_STREQ(s.NextToken(position).CStr(), "b");
    EXPECT_EQ(position, 4);
    EXPECT_STREQ(s.NextToken(position).CStr(), "");
    EXPECT_EQ(position, 4);

    const BString fields("##x");
    position = 0;
    EXPECT_STREQ(fields.NextToken(position).CStr(), "");
    EXPECT_STREQ(fields.NextToken(position).CStr(), "");
    EXPECT_STREQ(fields.NextToken(position).CStr(), "x");
    EXPECT_EQ(position, 3);

    position = -5;
    EXPECT_STREQ(fields.NextToken(position).CStr(), "");
    EXPECT_EQ(position, 3);
}

TEST(BStringToInt, AcceptsBlanksSignAndTrailingWords)
{
    int value = 99;
    EXPECT_TRUE(BString("  -42").ToInt(0, value));
    EXPECT_EQ(value, -42);
    EXPECT_TRUE(BString("12 ab").ToInt(0, value));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(BString("   ").ToInt(0, value));
    EXPECT_EQ(value, 0);
    value = 7;
    EXPECT_TRUE(BString("-").ToInt(0, value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(BString("x=15").ToInt(2, value));
    EXPECT_EQ(value, 15);
    EXPECT_TRUE(BString("\t7\n").ToInt(0, value));
    EXPECT_EQ(value, 7);
}

TEST(BStringToInt, RejectsGarbageAndLeavesTheValue)
{
    int value = 99;
    EXPECT_FALSE(BString("12ab").ToInt(0, value));
    EXPECT_FALSE(BString("").ToInt(0, value));
    EXPECT_FALSE(BString("+5").ToInt(0, value));
    EXPECT_FALSE(BString("--5").ToInt(0, value));
    EXPECT_FALSE(BString("1\xC2\xB2").ToInt(0, value)) << "high bytes are not blanks";
    EXPECT_FALSE(BString("12").ToInt(2, value));
    EXPECT_FALSE(BString("12").ToInt(5, value));
    EXPECT_FALSE(BString("12").ToInt(-1, value));
    EXPECT_EQ(value, 99);
}

TEST(BStringToInt, LimitsAndOverflowWrapLikeThirtyTwoBits)
{
    int value = 0;
    EXPECT_TRUE(BString("2147483647").ToInt(0, value));
    EXPECT_EQ(value, INT_MAX);
    EXPECT_TRUE(BString("-2147483648").ToInt(0, value));
    EXPECT_EQ(value, INT_MIN);
    // No overflow check: the value wraps (and must not be undefined behaviour).
    EXPECT_TRUE(BString("4294967297").ToInt(0, value));
    EXPECT_EQ(value, 1);
}

TEST(BStringNumbers, FromIntAndHex)
{
    EXPECT_STREQ(BString::FromInt(0).CStr(), "0");
    EXPECT_STREQ(BString::FromInt(-17).CStr(), "-17");
    EXPECT_STREQ(BString::FromInt(INT_MAX).CStr(), "2147483647");
    EXPECT_STREQ(BString::FromInt(INT_MIN).CStr(), "-2147483648");
    EXPECT_STREQ(BString::ToHex8(255).CStr(), "000000FF");
    EXPECT_STREQ(BString::ToHex8(0xDEADBEEFu).CStr(), "DEADBEEF");
    EXPECT_STREQ(BString::ToHex8(0).CStr(), "00000000");
    int back = 0;
    for (int v : {0, 1, -1, 127, -128, 1000000, INT_MIN, INT_MAX})
    {
        ASSERT_TRUE(BString::FromInt(v).ToInt(0, back));
        EXPECT_EQ(back, v);
    }
}

// ---- formatting ---------------------------------------------------------------------------------

TEST(BStringFormat, FormatsLikePrintf)
{
    EXPECT_STREQ(BString::Format("%s (%d)", "Port", 2).CStr(), "Port (2)");
    EXPECT_STREQ(BString::Format("%05.1f|%-3s|%x", 3.14159, "a", 255).CStr(), "003.1|a  |ff");
    EXPECT_STREQ(BString::Format("%lld", -9000000000LL).CStr(), "-9000000000");
    const BString empty = BString::Format("%s", "");
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(BStringFormat, LongOutputsGrowTheBufferUpToItsLimit)
{
    for (int length : {1023, 1024, 1025, 5000, 20000, 32767})
    {
        const std::string text(static_cast<size_t>(length), 'x');
        const BString s = BString::Format("%s", text.c_str());
        EXPECT_EQ(s.Length(), length) << length;
        EXPECT_EQ(s.Capacity(), length) << "exact size for " << length;
    }
    // 32768 bytes of output and its NUL no longer fit the largest buffer: the result is empty.
    const std::string tooLong(32768, 'x');
    EXPECT_TRUE(BString::Format("%s", tooLong.c_str()).IsEmpty());
    EXPECT_TRUE(BString::Format("%s%s", tooLong.c_str(), "y").IsEmpty());
}

// ---- paths ------------------------------------------------------------------------------------

TEST(BStringPaths, BackslashRules)
{
    const char sep = '\\';
    EXPECT_STREQ(BString("X:\\dir\\file.txt").DirectoryOf(sep).CStr(), "X:\\dir");
    EXPECT_STREQ(BString("\\file").DirectoryOf(sep).CStr(), "\\");
    EXPECT_STREQ(BString("file").DirectoryOf(sep).CStr(), "");
    EXPECT_STREQ(BString("X:\\dir\\sub\\").DirectoryOf(sep).CStr(), "X:\\dir");
    EXPECT_STREQ(BString("X:\\dir\\file.txt").FileNameOf(sep).CStr(), "file.txt");
    EXPECT_STREQ(BString("file.txt").FileNameOf(sep).CStr(), "file.txt");
    EXPECT_STREQ(BString("a/b.c").FileNameOf(sep).CStr(), "a/b.c") << "only the backslash separates";
    EXPECT_STREQ(BString("X:\\dir\\file.tar.gz").ExtensionOf(sep).CStr(), ".gz");
    EXPECT_STREQ(BString("dir.old\\name").ExtensionOf(sep).CStr(), "");
    EXPECT_STREQ(BString("dir.old\\name").WithoutExtension(sep).CStr(), "dir.old\\name");
    EXPECT_STREQ(BString("dir.old\\name").ReplaceExtension(".txt", sep).CStr(), "dir.old\\name.txt");
    EXPECT_STREQ(BString("C:\\Apps\\lumo.exe").ReplaceExtension(".qrcf", sep).CStr(), "C:\\Apps\\lumo.qrcf");
    EXPECT_STREQ(BString("C:\\Apps\\lumo.exe").BaseNameOf(sep).CStr(), "lumo");
    EXPECT_STREQ(BString("C:\\Apps\\.hidden").BaseNameOf(sep).CStr(), "");
}

TEST(BStringPaths, SlashRules)
{
    const char sep = '/';
    EXPECT_STREQ(BString("/home/u/file.txt").DirectoryOf(sep).CStr(), "/home/u");
    EXPECT_STREQ(BString("/file").DirectoryOf(sep).CStr(), "/");
    EXPECT_STREQ(BString("/").DirectoryOf(sep).CStr(), "");
    EXPECT_STREQ(BString("dir/").DirectoryOf(sep).CStr(), "");
    EXPECT_STREQ(BString("a\\b.c").FileNameOf(sep).CStr(), "a\\b.c");
    EXPECT_STREQ(BString("dir.old/name").ReplaceExtension(".txt", sep).CStr(), "dir.old/name.txt");
    EXPECT_STREQ(BString("/opt/lumo/lumo").ReplaceExtension(".qrcf", sep).CStr(), "/opt/lumo/lumo.qrcf");
    EXPECT_STREQ(BString("/x/y.tar.gz").BaseNameOf(sep).CStr(), "y.tar");
}

TEST(BStringPaths, PlatformSeparatorIsUsedByDefault)
{
    const char sep = BString::PathSeparator();
    const BString path = BString::Format("%cdata%cconf.ini", sep, sep);
    EXPECT_STREQ(path.FileNameOf().CStr(), "conf.ini");
    EXPECT_EQ(path.DirectoryOf(), BString::Format("%cdata", sep));
    EXPECT_STREQ(path.ExtensionOf().CStr(), ".ini");
    EXPECT_STREQ(path.BaseNameOf().CStr(), "conf");
    EXPECT_EQ(path.ReplaceExtension(".bak"), BString::Format("%cdata%cconf.bak", sep, sep));
    EXPECT_EQ(path.WithoutExtension(), BString::Format("%cdata%cconf", sep, sep));
}

// Strings built during static initialisation of other globals must work.
const BString gEarly = BString("early") + BString();
const BString gEarlyEmpty;

TEST(BStringStatic, StringsOfOtherGlobalsAreUsable)
{
    EXPECT_STREQ(gEarly.CStr(), "early");
    EXPECT_TRUE(gEarlyEmpty.IsEmpty());
    BString copy(gEarlyEmpty);
    copy.Append("x");
    EXPECT_TRUE(gEarlyEmpty.IsEmpty());
}
} // namespace
