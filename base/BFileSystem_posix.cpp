// POSIX side of the file-system helpers.
#include "base/BFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace BFileSystem
{
bool FileExists(const BString& path)
{
    struct stat info;
    return path.Length() > 0 && ::stat(path.CStr(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const BString& path)
{
    struct stat info;
    return path.Length() > 0 && ::stat(path.CStr(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRootPath(const BString& path)
{
    return std::strcmp(path.CStr(), "/") == 0;
}

bool MakeDirectory(const BString& path)
{
    if (::mkdir(path.CStr(), 0777) == 0)
        return true;
    // Another process may have created it between our check and our attempt.
    return errno == EEXIST && DirectoryExists(path);
}
} // namespace BFileSystem

namespace
{
bool syncDirectoryOf(const BString& path)
{
    const char* text = path.CStr();
    const char* slash = std::strrchr(text, '/');
    const std::string directory = slash == nullptr ? std::string(".")
                                  : slash == text  ? std::string("/")
                                                   : std::string(text, static_cast<std::size_t>(slash - text));
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}
} // namespace

const std::intptr_t BAtomicFileWriter::kNoHandle = -1;

BAtomicFileWriter::BAtomicFileWriter(const BString& target)
    : targetPath(target), handle(kNoHandle)
{
    if (targetPath.Length() == 0)
        return;

    std::vector<char> pattern(static_cast<std::size_t>(targetPath.Length()) + 16);
    std::snprintf(pattern.data(), pattern.size(), "%s.tmpXXXXXX", targetPath.CStr());
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);

    // mkstemp creates the file readable by its owner only; the replacement keeps the permissions
    // of the file it replaces, or gets those of a newly created file.
    struct stat old;
    mode_t mode;
    if (::stat(targetPath.CStr(), &old) == 0)
        mode = old.st_mode & 07777;
    else
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);

    tempPath = BString(pattern.data());
    handle = fd;
}

BAtomicFileWriter::~BAtomicFileWriter()
{
    Discard();
}

bool BAtomicFileWriter::IsOpen() const
{
    return handle != kNoHandle && !failed;
}

bool BAtomicFileWriter::Write(const void* data, std::size_t size)
{
    if (!IsOpen())
        return false;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0)
    {
        const ssize_t written = ::write(static_cast<int>(handle), bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
        {
            failed = true;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool BAtomicFileWriter::Commit()
{
    if (!IsOpen())
    {
        Discard();
        return false;
    }
    const int fd = static_cast<int>(handle);
    handle = kNoHandle;
    // The data must be on the disk before the rename makes it the file's content, or a power cut
    // could leave the new name pointing at an empty file.
    const bool synced = ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!synced || !closed || ::rename(tempPath.CStr(), targetPath.CStr()) != 0)
    {
        failed = true;
        Discard();
        return false;
    }
    tempPath = BString();
    // The rename itself is made durable on a best-effort basis: the file is already complete.
    syncDirectoryOf(targetPath);
    return true;
}

void BAtomicFileWriter::Discard()
{
    CloseFile();
    if (tempPath.Length() > 0)
    {
        ::unlink(tempPath.CStr());
        tempPath = BString();
    }
    failed = true;
}

void BAtomicFileWriter::CloseFile()
{
    if (handle != kNoHandle)
    {
        ::close(static_cast<int>(handle));
        handle = kNoHandle;
    }
}
