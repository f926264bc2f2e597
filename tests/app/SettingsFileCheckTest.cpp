// What the program tells the user about its settings file at start, and that a file it could not
// read is never replaced by a save.
#include "app/protocol/SettingsFileCheck.h"
#include "base/TIniFile.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace
{
struct Case
{
    const char* what;
    const char* content;   // null: no file
    bool replaceable;
};

const Case kCases[] = {
    {"no file yet", nullptr, true},
    {"a readable file", "[Current]\nMainLeft=1\n", true},
    {"an empty file", "", true},
    {"an XML document (replaced, as the format says)", "<?xml version=\"1.0\"?><a/>", true},
    {"a JSON document (replaced, as the format says)", "{\"a\": 1}", true},
};
} // namespace

TEST(SettingsFileCheck, OnlyAFileThatCannotBeReadIsKeptFromTheSave)
{
    for (const Case& c : kCases)
    {
        lumo_test::TempDirectory folder;
        const std::string path = folder.file("lumo.qrcf");
        if (c.content != nullptr)
            lumo_test::writeBytes(path, c.content);
        TIniFile settings{BString(path.c_str())};
        const bool loaded = settings.Load();
        const SettingsFileCheck check(settings, loaded);
        EXPECT_EQ(check.mayReplace(), c.replaceable) << c.what;
        EXPECT_EQ(SettingsFileCheck::mayReplace(settings, loaded), c.replaceable) << c.what;
        EXPECT_TRUE(check.readProblem().IsEmpty()) << c.what;
        EXPECT_TRUE(check.saveProblem().IsEmpty()) << c.what;
        const auto entries = std::distance(std::filesystem::directory_iterator(folder.path()),
                                           std::filesystem::directory_iterator());
        EXPECT_EQ(entries, c.content != nullptr ? 1 : 0) << c.what << ": the trial save leaves nothing behind";
    }
}

TEST(SettingsFileCheck, AFileTooLargeToReadIsReportedAndKept)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("lumo.qrcf");
    lumo_test::writeBytes(path, "[Current]\n");
    // Sparse: takes no disk space, but is beyond what the reader takes.
    std::filesystem::resize_file(path, 2147483648u);
    TIniFile settings{BString(path.c_str())};
    const bool loaded = settings.Load();
    ASSERT_FALSE(loaded);
    const SettingsFileCheck check(settings, loaded);
    EXPECT_FALSE(check.mayReplace());
    EXPECT_FALSE(SettingsFileCheck::mayReplace(settings, loaded));
    EXPECT_NE(std::string(check.readProblem().CStr()).find(path), std::string::npos) << check.readProblem().CStr();
    EXPECT_EQ(std::filesystem::file_size(path), 2147483648u);
}

TEST(SettingsFileCheck, AMissingFolderIsNoProblemAndIsNotCreated)
{
    lumo_test::TempDirectory folder;
    const std::string path = (folder.path() / "Vantor Quorvel" / "lumo.qrcf").string();
    TIniFile settings{BString(path.c_str())};
    const bool loaded = settings.Load();
    const SettingsFileCheck check(settings, loaded);
    EXPECT_TRUE(check.mayReplace());
    EXPECT_TRUE(check.saveProblem().IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "Vantor Quorvel"));
}

#if !defined(_WIN32)
TEST(SettingsFileCheck, AFolderThatTakesNoFileIsReportedAtStart)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("lumo.qrcf");
    lumo_test::writeBytes(path, "[Current]\nMainLeft=1\n");
    std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::access(folder.path().c_str(), W_OK) == 0)
    {
        std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all);
        GTEST_SKIP() << "this account may write into read-only folders";
    }
    TIniFile settings{BString(path.c_str())};
    const bool loaded = settings.Load();
    const SettingsFileCheck check(settings, loaded);
    std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all);
    EXPECT_TRUE(check.mayReplace());
    EXPECT_TRUE(check.readProblem().IsEmpty());
    EXPECT_NE(std::string(check.saveProblem().CStr()).find(folder.path().string()), std::string::npos)
        << check.saveProblem().CStr();
}
#endif
