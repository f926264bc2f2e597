// A file with the read-only attribute is one its owner asked Windows to keep: the writer must not
// replace it, and must say so before anything is written (Windows' own replace refuses such a file
// only at the very end; Wine's replaces it regardless).
#include "base/BFileSystem.h"
#include "base/TIniFile.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using lumo_test::readBytes;
using lumo_test::TempDirectory;
using lumo_test::writeBytes;

namespace
{
const char* const kOld = "[Current]\nMainLeft=1\n\n";

void setReadOnly(const BString& path, bool readOnly)
{
    const DWORD attributes = ::GetFileAttributesA(path.CStr());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(::SetFileAttributesA(path.CStr(), readOnly ? (attributes | FILE_ATTRIBUTE_READONLY)
                                                           : (attributes & ~FILE_ATTRIBUTE_READONLY)));
}
} // namespace

TEST(AtomicFileWriterReadOnly, AReadOnlyTargetIsRefusedBeforeAnythingIsWritten)
{
    TempDirectory dir;
    const BString target = dir.text("lumo.qrcf");
    writeBytes(dir.path("lumo.qrcf"), kOld);
    setReadOnly(target, true);

    BAtomicFileWriter writer(target);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.Write("x", 1));
    EXPECT_FALSE(writer.Commit());
    EXPECT_EQ(dir.listing(), "lumo.qrcf") << "no temporary file is made for a target that cannot be replaced";
    EXPECT_TRUE(BFileSystem::IsReadOnlyFile(target));

    TIniFile settings(target);
    ASSERT_TRUE(settings.Load());
    settings.GetSection("Current").SetValue("MainLeft", "2");
    EXPECT_FALSE(settings.Save());
    setReadOnly(target, false);
    EXPECT_EQ(readBytes(dir.path("lumo.qrcf")), kOld);
    EXPECT_EQ(dir.listing(), "lumo.qrcf");
}

TEST(AtomicFileWriterReadOnly, OnlyTheReadOnlyAttributeStopsTheReplacement)
{
    struct Case
    {
        const char* what;
        DWORD attributes;
        bool readOnly;
    };
    const Case cases[] = {
        {"plain file", FILE_ATTRIBUTE_NORMAL, false},
        {"archive bit", FILE_ATTRIBUTE_ARCHIVE, false},
        {"read-only", FILE_ATTRIBUTE_READONLY, true},
        {"read-only and archive", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, true},
    };
    for (const Case& c : cases)
    {
        TempDirectory dir;
        const BString target = dir.text("lumo.qrcf");
        writeBytes(dir.path("lumo.qrcf"), kOld);
        ASSERT_TRUE(::SetFileAttributesA(target.CStr(), c.attributes)) << c.what;
        EXPECT_EQ(BFileSystem::IsReadOnlyFile(target), c.readOnly) << c.what;
        {
            BAtomicFileWriter writer(target);
            const bool written = writer.Write("new\n", 4) && writer.Commit();
            EXPECT_EQ(written, !c.readOnly) << c.what;
        }
        ::SetFileAttributesA(target.CStr(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(readBytes(dir.path("lumo.qrcf")), c.readOnly ? std::string(kOld) : std::string("new\n")) << c.what;
        EXPECT_EQ(dir.listing(), "lumo.qrcf") << c.what;
    }
    // Neither a missing file nor a folder is a read-only file.
    TempDirectory dir;
    EXPECT_FALSE(BFileSystem::IsReadOnlyFile(dir.text("missing.qrcf")));
    EXPECT_FALSE(BFileSystem::IsReadOnlyFile(dir.text()));
}
