// Where the settings file lives: a file next to the program wins, else the company data folder.
#include "base/BPaths.h"

#include "base/BFileSystem.h"
#include "base/TIniFile.h"
#include "support/BStringPrinting.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

using lumo_test::readBytes;
using lumo_test::TempDirectory;
using lumo_test::writeBytes;

namespace
{
const BString kSep(BString::PathSeparator());

BString text(const std::filesystem::path& path)
{
    return BString(path.string());
}

class SettingsPathTest : public ::testing::Test
{
protected:
    SettingsPathTest()
    {
        std::filesystem::create_directory(dir.path("program"));
        std::filesystem::create_directory(dir.path("data"));
    }

    BString exe() const { return text(dir.path("program") / "lumo.exe"); }
    BString dataFolder() const { return text(dir.path("data") / "Vantor Quorvel"); }

    TempDirectory dir;
};

TEST_F(SettingsPathTest, WithoutAFileNextToTheProgramTheDataFolderIsUsed)
{
    EXPECT_EQ(dataFolder() + kSep + "lumo.qrcf", settingsFilePath(exe(), dataFolder()));
}

TEST_F(SettingsPathTest, AFileNextToTheProgramTakesPrecedence)
{
    writeBytes(dir.path("program") / "lumo.qrcf", "[Current]\n");
    EXPECT_EQ(text(dir.path("program") / "lumo.qrcf"), settingsFilePath(exe(), dataFolder()));
}

TEST_F(SettingsPathTest, ADirectoryNextToTheProgramDoesNotCount)
{
    std::filesystem::create_directory(dir.path("program") / "lumo.qrcf");
    EXPECT_EQ(dataFolder() + kSep + "lumo.qrcf", settingsFilePath(exe(), dataFolder()));
}

TEST_F(SettingsPathTest, TheExtensionIsReplacedOrAppendedButNeverTakenFromAFolderName)
{
    std::filesystem::create_directory(dir.path("v1.2"));
    const BString noExtension = text(dir.path("v1.2") / "lumo");
    EXPECT_EQ(dataFolder() + kSep + "lumo.qrcf", settingsFilePath(noExtension, dataFolder()));
    writeBytes(dir.path("v1.2") / "lumo.qrcf", "");
    EXPECT_EQ(text(dir.path("v1.2") / "lumo.qrcf"), settingsFilePath(noExtension, dataFolder()));

    const BString twoDots = text(dir.path("program") / "lumo.tool.exe");
    EXPECT_EQ(dataFolder() + kSep + "lumo.tool.qrcf", settingsFilePath(twoDots, dataFolder()));
}

TEST_F(SettingsPathTest, FirstSaveCreatesTheCompanyFolder)
{
    const BString path = settingsFilePath(exe(), dataFolder());
    TIniFile ini(path);
    EXPECT_FALSE(ini.Load());
    ini.GetSection("Current").SetValue("MainLeft", "120");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ("[Current]\nMainLeft=120\n\n", readBytes(dir.path("data") / "Vantor Quorvel" / "lumo.qrcf"));
}

TEST(ProgramPaths, ExecutablePathNamesTheRunningTestProgram)
{
    const BString path = executablePath();
    ASSERT_GT(path.Length(), 0);
    EXPECT_TRUE(BFileSystem::FileExists(path)) << path.CStr();
    EXPECT_TRUE(path.FileNameOf().StartsWith("base_tests", true)) << path.CStr();
}

TEST(ProgramPaths, SettingsPathCombinesTheProgramNameWithTheCompanyFolder)
{
    const BString candidate = executablePath().ReplaceExtension(".qrcf");
    const BString expected =
        BFileSystem::FileExists(candidate) ? candidate : companyDataFolder() + kSep + candidate.FileNameOf();
    EXPECT_EQ(expected, settingsFilePath());
    EXPECT_TRUE(settingsFilePath().EndsWith("base_tests.qrcf"));
}

#if defined(_WIN32)
TEST(ProgramPaths, CompanyFolderIsInsideTheRoamingApplicationData)
{
    const BString folder = companyDataFolder();
    EXPECT_TRUE(folder.EndsWith("\\Vantor Quorvel")) << folder.CStr();
    // The application-data folder in front of it is absolute ("X:\...").
    ASSERT_GT(folder.Length(), 18);
    EXPECT_EQ(':', folder.CStr()[1]) << folder.CStr();
}
#else
// Sets or removes an environment variable for one scope.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const char* value)
        : variable(name)
    {
        if (const char* old = std::getenv(name))
            previous = std::string(old);
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (previous)
            ::setenv(variable.c_str(), previous->c_str(), 1);
        else
            ::unsetenv(variable.c_str());
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string variable;
    std::optional<std::string> previous;
};

TEST(ProgramPaths, CompanyFolderFollowsXdgConfigHome)
{
    ScopedEnvironment config("XDG_CONFIG_HOME", "/srv/cfg");
    EXPECT_EQ(BString("/srv/cfg/Vantor Quorvel"), companyDataFolder());
    ScopedEnvironment trailing("XDG_CONFIG_HOME", "/srv/cfg/");
    EXPECT_EQ(BString("/srv/cfg/Vantor Quorvel"), companyDataFolder());
}

TEST(ProgramPaths, CompanyFolderDefaultsToDotConfigInTheHomeFolder)
{
    ScopedEnvironment home("HOME", "/home/someone");
    {
        ScopedEnvironment unset("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(BString("/home/someone/.config/Vantor Quorvel"), companyDataFolder());
    }
    {
        ScopedEnvironment empty("XDG_CONFIG_HOME", "");
        EXPECT_EQ(BString("/home/someone/.config/Vantor Quorvel"), companyDataFolder());
    }
    {
        // Relative values are not valid and are ignored.
        ScopedEnvironment relative("XDG_CONFIG_HOME", "cfg");
        EXPECT_EQ(BString("/home/someone/.config/Vantor Quorvel"), companyDataFolder());
    }
}

TEST(ProgramPaths, SettingsFileGoesToXdgConfigHomeWhenNoneIsNextToTheProgram)
{
    TempDirectory dir;
    ScopedEnvironment config("XDG_CONFIG_HOME", dir.path().c_str());
    const BString candidate = executablePath().ReplaceExtension(".qrcf");
    if (BFileSystem::FileExists(candidate))
        GTEST_SKIP() << "a settings file lies next to the test program: " << candidate.CStr();
    EXPECT_EQ(dir.text() + "/Vantor Quorvel/" + candidate.FileNameOf(), settingsFilePath());
}
#endif
} // namespace
