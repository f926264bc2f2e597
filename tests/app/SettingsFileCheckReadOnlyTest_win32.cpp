// A settings file with the read-only attribute cannot be replaced on Windows: the user is told at
// start, by the file's name, instead of losing every change at exit without a word.
#include "app/protocol/SettingsFileCheck.h"
#include "base/TIniFile.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

TEST(SettingsFileCheck, AReadOnlySettingsFileIsReportedAtStart)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("lumo.qrcf");
    lumo_test::writeBytes(path, "[Current]\nMainLeft=1\n");
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    TIniFile settings{BString(path.c_str())};
    const bool loaded = settings.Load();
    const SettingsFileCheck check(settings, loaded);
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(check.readProblem().IsEmpty());
    const std::string text = check.saveProblem().CStr();
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_NE(text.find("read-only"), std::string::npos) << text;
}
