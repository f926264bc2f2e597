// Whole-file reading, folder-chain creation and crash-safe file replacement.
#include "base/BFileSystem.h"

#include "support/BStringPrinting.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using lumo_test::readBytes;
using lumo_test::TempDirectory;
using lumo_test::writeBytes;

namespace
{
BString text(const std::filesystem::path& path)
{
    return BString(path.string());
}

const char kSep = BString::PathSeparator();

TEST(WholeFileReader, ReturnsExactlyTheFileBytesIncludingNulAndCr)
{
    TempDirectory dir;
    const std::string bytes = std::string("a\r\nb\0c\xFF", 7);
    writeBytes(dir.path("f"), bytes);
    std::int64_t size = -1;
    BString message("untouched");
    const auto data = BFileSystem::ReadWholeFile(dir.text("f"), size, &message);
    ASSERT_NE(nullptr, data);
    ASSERT_EQ(7, size);
    EXPECT_EQ(bytes, std::string(data.get(), 7));
    EXPECT_EQ(BString("untouched"), message);
}

TEST(WholeFileReader, EmptyFileGivesABufferOfSizeZero)
{
    TempDirectory dir;
    writeBytes(dir.path("empty"), "");
    std::int64_t size = -1;
    const auto data = BFileSystem::ReadWholeFile(dir.text("empty"), size);
    EXPECT_NE(nullptr, data);
    EXPECT_EQ(0, size);
}

TEST(WholeFileReader, MissingFileOrDirectoryReportsTheOpeningError)
{
    TempDirectory dir;
    std::int64_t size = -1;
    BString message;
    EXPECT_EQ(nullptr, BFileSystem::ReadWholeFile(dir.text("absent"), size, &message));
    EXPECT_EQ(0, size);
    EXPECT_EQ(BString("error opening file: : ") + dir.text("absent"), message);

    message = BString();
    EXPECT_EQ(nullptr, BFileSystem::ReadWholeFile(dir.text(), size, &message));
    EXPECT_EQ(BString("error opening file: : ") + dir.text(), message);

    // Without somewhere to put the message the failure is still reported by the result.
    EXPECT_EQ(nullptr, BFileSystem::ReadWholeFile(dir.text("absent"), size));
}

TEST(WholeFileReader, FilesOfTwoGigabytesAreRefusedBeforeAllocating)
{
    TempDirectory dir;
    writeBytes(dir.path("huge"), "");
    // Sparse: takes no disk space.
    std::filesystem::resize_file(dir.path("huge"), 2147483647u);
    std::int64_t size = -1;
    BString message;
    EXPECT_EQ(nullptr, BFileSystem::ReadWholeFile(dir.text("huge"), size, &message));
    EXPECT_EQ(BString("file too large (2GB limit): ") + dir.text("huge"), message);
}

TEST(FileSystemQueries, FilesAndDirectoriesAreToldApart)
{
    TempDirectory dir;
    writeBytes(dir.path("file"), "x");
    EXPECT_TRUE(BFileSystem::FileExists(dir.text("file")));
    EXPECT_FALSE(BFileSystem::DirectoryExists(dir.text("file")));
    EXPECT_TRUE(BFileSystem::DirectoryExists(dir.text()));
    EXPECT_FALSE(BFileSystem::FileExists(dir.text()));
    EXPECT_FALSE(BFileSystem::FileExists(dir.text("absent")));
    EXPECT_FALSE(BFileSystem::DirectoryExists(dir.text("absent")));
    EXPECT_FALSE(BFileSystem::FileExists(BString()));
    EXPECT_FALSE(BFileSystem::DirectoryExists(BString()));
}

TEST(ForceDirectories, CreatesTheWholeMissingChain)
{
    TempDirectory dir;
    const std::filesystem::path deep = dir.path("a") / "b" / "c";
    EXPECT_TRUE(BFileSystem::ForceDirectories(text(deep)));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    // Existing directories succeed again, with or without a trailing separator.
    EXPECT_TRUE(BFileSystem::ForceDirectories(text(deep)));
    EXPECT_TRUE(BFileSystem::ForceDirectories(text(dir.path("a") / "d") + BString(kSep)));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("a") / "d"));
}

TEST(ForceDirectories, FailsForEmptyPathsAndFilesInTheWay)
{
    TempDirectory dir;
    EXPECT_FALSE(BFileSystem::ForceDirectories(BString()));
    writeBytes(dir.path("file"), "x");
    EXPECT_FALSE(BFileSystem::ForceDirectories(dir.text("file")));
    EXPECT_FALSE(BFileSystem::ForceDirectories(text(dir.path("file") / "sub" / "deeper")));
    EXPECT_FALSE(std::filesystem::exists(dir.path("file") / "sub"));
    // A relative name whose first component is missing has nothing to grow from.
    EXPECT_FALSE(BFileSystem::ForceDirectories("lumo-no-such-relative-folder"));
    EXPECT_FALSE(std::filesystem::exists("lumo-no-such-relative-folder"));
}

TEST(ForceDirectories, RootsNeedNoCreation)
{
    if (kSep == '/')
    {
        EXPECT_TRUE(BFileSystem::IsRootPath("/"));
        EXPECT_FALSE(BFileSystem::IsRootPath("/tmp"));
        EXPECT_TRUE(BFileSystem::ForceDirectories("/"));
    }
    else
    {
        for (const char* root : {"\\", "C:", "c:\\", "Z:"})
            EXPECT_TRUE(BFileSystem::IsRootPath(root)) << root;
        for (const char* notRoot : {"C:\\x", "1:", "C", "\\\\", "CC:"})
            EXPECT_FALSE(BFileSystem::IsRootPath(notRoot)) << notRoot;
        EXPECT_TRUE(BFileSystem::ForceDirectories("Z:\\"));
    }
}

TEST(AtomicFileWriter, CommitReplacesTheContentAndLeavesOnlyTheTarget)
{
    TempDirectory dir;
    writeBytes(dir.path("target"), "old content that is longer than the new one");
    {
        BAtomicFileWriter writer(dir.text("target"));
        ASSERT_TRUE(writer.IsOpen());
        ASSERT_TRUE(writer.Write("new ", 4));
        ASSERT_TRUE(writer.Write("bytes", 5));
        ASSERT_TRUE(writer.Commit());
        EXPECT_FALSE(writer.IsOpen());
        EXPECT_FALSE(writer.Write("more", 4));
    }
    EXPECT_EQ("new bytes", readBytes(dir.path("target")));
    EXPECT_EQ("target", dir.listing());
}

TEST(AtomicFileWriter, CreatesATargetThatDidNotExist)
{
    TempDirectory dir;
    {
        BAtomicFileWriter writer(dir.text("fresh"));
        ASSERT_TRUE(writer.Write("x", 1));
        ASSERT_TRUE(writer.Commit());
    }
    EXPECT_EQ("x", readBytes(dir.path("fresh")));
}

TEST(AtomicFileWriter, TargetKeepsItsOldBytesUntilTheCommitAndAfterAnAbandonedWrite)
{
    TempDirectory dir;
    const std::string original = "[Current]\nMainLeft=120\n\n";
    writeBytes(dir.path("target"), original);
    {
        BAtomicFileWriter writer(dir.text("target"));
        ASSERT_TRUE(writer.IsOpen());
        ASSERT_TRUE(writer.Write("[Cur", 4));
        // Mid-way, as a crash would find it: the half-written bytes are only in the temporary
        // file beside the target.
        const std::filesystem::path temp(writer.TemporaryPath().CStr());
        EXPECT_EQ(dir.path(), temp.parent_path());
        EXPECT_EQ("[Cur", readBytes(temp));
        EXPECT_EQ(original, readBytes(dir.path("target")));
        // The writer is abandoned without a commit (an error or an early return).
    }
    EXPECT_EQ(original, readBytes(dir.path("target")));
    EXPECT_EQ("target", dir.listing());
}

TEST(AtomicFileWriter, DiscardRemovesTheTemporaryFileAndSpendsTheWriter)
{
    TempDirectory dir;
    writeBytes(dir.path("target"), "old");
    BAtomicFileWriter writer(dir.text("target"));
    ASSERT_TRUE(writer.Write("new", 3));
    writer.Discard();
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.Commit());
    EXPECT_EQ("old", readBytes(dir.path("target")));
    EXPECT_EQ("target", dir.listing());
}

TEST(AtomicFileWriter, FailedRenameReportsFailureAndRemovesTheTemporaryFile)
{
    TempDirectory dir;
    std::filesystem::create_directory(dir.path("target"));
    BAtomicFileWriter writer(dir.text("target"));
    ASSERT_TRUE(writer.IsOpen());
    ASSERT_TRUE(writer.Write("x", 1));
    EXPECT_FALSE(writer.Commit());
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("target")));
    EXPECT_EQ("target", dir.listing());
}

TEST(AtomicFileWriter, MissingFolderMeansNoWriter)
{
    TempDirectory dir;
    BAtomicFileWriter writer(text(dir.path("missing") / "target"));
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.Write("x", 1));
    EXPECT_FALSE(writer.Commit());
    EXPECT_EQ("", dir.listing());

    BAtomicFileWriter unnamed{BString()};
    EXPECT_FALSE(unnamed.IsOpen());
}

#if !defined(_WIN32)
TEST(AtomicFileWriter, ReplacementKeepsThePermissionsOfTheReplacedFile)
{
    TempDirectory dir;
    writeBytes(dir.path("target"), "old");
    ASSERT_EQ(0, ::chmod(dir.path("target").c_str(), 0640));
    BAtomicFileWriter writer(dir.text("target"));
    ASSERT_TRUE(writer.Write("new", 3));
    ASSERT_TRUE(writer.Commit());
    struct stat info;
    ASSERT_EQ(0, ::stat(dir.path("target").c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777u);
}

TEST(AtomicFileWriter, WriteFailingPartWayLeavesTheTargetUntouched)
{
    TempDirectory dir;
    const std::string original = "original bytes";
    writeBytes(dir.path("target"), original);
    const std::string big(64 * 1024, 'x');
    {
        // A file-size limit makes the write fail part-way, as a full disk would.
        void (*previousHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
        rlimit limited = previous;
        limited.rlim_cur = 1000;
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
        BAtomicFileWriter writer(dir.text("target"));
        const bool opened = writer.IsOpen();
        const bool wrote = writer.Write(big.data(), big.size());
        const bool committed = writer.Commit();
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        EXPECT_TRUE(opened);
        EXPECT_FALSE(wrote);
        EXPECT_FALSE(committed);
    }
    EXPECT_EQ(original, readBytes(dir.path("target")));
    EXPECT_EQ("target", dir.listing());
}
#endif
} // namespace

namespace
{
// Temporary files as killed writers of "target" leave them, and names that only look alike.
#if defined(_WIN32)
// Process ids that no process has (Windows' ids are multiples of four).
const char* const kLeftoverNames[] = {"target.tmpfffffff1-0", "target.tmpfffffffd-1a"};
// (Names differing from a leftover's only in letter case would be the same file here.)
const char* const kForeignNames[] = {"target.tmp", "target.tmpfffffff1", "target.tmpfffffff1-", "target.tmpfffffff1-x",
                                     "other.tmpfffffff1-0", "target.bak"};
#else
const char* const kLeftoverNames[] = {"target.tmpAb12Cd", "target.tmp000000"};
const char* const kForeignNames[] = {"target.tmp", "target.tmpAb12Cde", "target.tmpAb-2Cd", "other.tmpAb12Cd",
                                     "target.bak", "xtarget.tmpAb12Cd"};
#endif
} // namespace

TEST(AtomicFileWriter, ANewWriterRemovesWhatKilledWritersLeftAndNothingElse)
{
    TempDirectory dir;
    writeBytes(dir.path("target"), "old");
    for (const char* name : kLeftoverNames)
        writeBytes(dir.path(name), "half a sa");
    for (const char* name : kForeignNames)
        writeBytes(dir.path(name), "not ours");
    {
        BAtomicFileWriter writer(dir.text("target"));
        ASSERT_TRUE(writer.Write("new", 3));
        ASSERT_TRUE(writer.Commit());
    }
    EXPECT_EQ("new", readBytes(dir.path("target")));
    for (const char* name : kLeftoverNames)
        EXPECT_FALSE(std::filesystem::exists(dir.path(name))) << name;
    for (const char* name : kForeignNames)
        EXPECT_EQ("not ours", readBytes(dir.path(name))) << name;
    EXPECT_EQ(0, BAtomicFileWriter::RemoveLeftovers(dir.text("target")));
}

TEST(AtomicFileWriter, ALeftoverOfThePatternThatIsADirectoryStays)
{
    TempDirectory dir;
    std::filesystem::create_directory(dir.path(kLeftoverNames[0]));
    EXPECT_EQ(0, BAtomicFileWriter::RemoveLeftovers(dir.text("target")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path(kLeftoverNames[0])));
}

TEST(AtomicFileWriter, TheTemporaryFileOfAWriterStillAtWorkIsNoLeftover)
{
    TempDirectory dir;
    writeBytes(dir.path("target"), "old");
    BAtomicFileWriter first(dir.text("target"));
    ASSERT_TRUE(first.Write("first", 5));
    const std::filesystem::path firstTemporary(first.TemporaryPath().CStr());

    EXPECT_EQ(0, BAtomicFileWriter::RemoveLeftovers(dir.text("target")));
    {
        BAtomicFileWriter second(dir.text("target"));
        ASSERT_TRUE(second.Write("second", 6));
        ASSERT_TRUE(second.Commit());
    }
    EXPECT_EQ("first", readBytes(firstTemporary));
    ASSERT_TRUE(first.Commit());
    EXPECT_EQ("first", readBytes(dir.path("target")));
    EXPECT_EQ("target", dir.listing());
}

#if !defined(_WIN32)
TEST(WholeFileReader, ANamedPipeIsRefusedInsteadOfWaitedOn)
{
    TempDirectory dir;
    ASSERT_EQ(0, ::mkfifo(dir.path("pipe").c_str(), 0600));
    std::int64_t size = -1;
    BString message;
    // Opening a pipe without a writer would block for ever; the reader must come back at once.
    EXPECT_EQ(nullptr, BFileSystem::ReadWholeFile(dir.text("pipe"), size, &message));
    EXPECT_EQ(BString("error opening file: : ") + dir.text("pipe"), message);
    EXPECT_EQ(nullptr, BFileSystem::OpenPlainFileForReading(dir.text("pipe")));

    writeBytes(dir.path("plain"), "text");
    std::FILE* plain = BFileSystem::OpenPlainFileForReading(dir.text("plain"));
    ASSERT_NE(nullptr, plain);
    char bytes[8] = {};
    EXPECT_EQ(4u, std::fread(bytes, 1, sizeof bytes, plain));
    EXPECT_STREQ("text", bytes);
    std::fclose(plain);
}
#endif
