// Portable parts of the file-system helpers; the platform files supply existence checks, single
// directory creation and the atomic writer.
#include "base/BFileSystem.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace BFileSystem
{
namespace
{
// Files of this size or more are refused: their size no longer fits the 32-bit lengths that the
// string and list types use.
constexpr std::int64_t kMaxWholeFileSize = 2147483647;

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::unique_ptr<char[]> failRead(BString* message, const BString& text)
{
    if (message != nullptr)
        *message = text;
    return nullptr;
}
} // namespace

bool ForceDirectories(const BString& path)
{
    const int length = path.Length();
    if (length == 0)
        return false;
    if (IsRootPath(path) || DirectoryExists(path))
        return true;

    // "a/b/" names the same directory as "a/b"; without this the chain below would create "a/b"
    // and then report the second creation of the same directory as a failure.
    if (path.CStr()[length - 1] == BString::PathSeparator())
        return ForceDirectories(path.SubString(0, length - 1));

    const char* text = path.CStr();
    const char* lastSeparator = std::strrchr(text, BString::PathSeparator());
    if (lastSeparator == nullptr)
        return false;

    // A separator at the very start makes the parent the lone separator, which is a root where
    // the platform has one ("/"), so top-level directories can be created too.
    const int parentLength = static_cast<int>(lastSeparator - text);
    const BString parent = parentLength == 0 ? path.SubString(0, 1) : path.SubString(0, parentLength);
    if (parentLength == 0 && !IsRootPath(parent))
        return false;
    if (!ForceDirectories(parent))
        return false;
    return MakeDirectory(path);
}

std::unique_ptr<char[]> ReadWholeFile(const BString& path, std::int64_t& size, BString* message)
{
    size = 0;

    // Some systems open a directory for reading without complaint and then fail or report a
    // meaningless size, and opening a named pipe waits for a writer: neither is a file to read.
    FilePtr file(DirectoryExists(path) ? nullptr : OpenPlainFileForReading(path));
    if (!file)
        return failRead(message, BString("error opening file: : ") + path);

    long end = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0)
        end = std::ftell(file.get());
    if (end < 0 || static_cast<std::int64_t>(end) >= kMaxWholeFileSize
        || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return failRead(message, BString("file too large (2GB limit): ") + path);

    const std::size_t byteCount = static_cast<std::size_t>(end);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[byteCount == 0 ? 1 : byteCount]);
    if (!buffer)
    {
        char text[80];
        std::snprintf(text, sizeof text, "out of memory (trying to allocate %ld bytes).", end);
        return failRead(message, BString(text));
    }

    const std::size_t read = byteCount == 0 ? 0 : std::fread(buffer.get(), 1, byteCount, file.get());
    file.reset();
    if (read < byteCount)
        return failRead(message, BString("error reading file into buffer : ") + path);

    size = static_cast<std::int64_t>(byteCount);
    return buffer;
}
} // namespace BFileSystem

BAtomicFileWriter::~BAtomicFileWriter()
{
    Discard();
}

bool BAtomicFileWriter::IsOpen() const
{
    return handle != kNoHandle && !failed;
}

void BAtomicFileWriter::Discard()
{
    CloseFile();
    if (tempPath.Length() > 0)
    {
        removeFile(tempPath);
        tempPath = BString();
    }
    failed = true;
}

void BAtomicFileWriter::CloseFile()
{
    if (handle != kNoHandle)
    {
        closeHandle(handle);
        handle = kNoHandle;
    }
}
