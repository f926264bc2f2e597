// POSIX side of the file-system helpers.
#include "base/BFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

bool IsReadOnlyFile(const BString&)
{
    return false;
}

bool IsRootPath(const BString& path)
{
    return std::strcmp(path.CStr(), "/") == 0;
}

std::FILE* OpenPlainFileForReading(const BString& path)
{
    // Without O_NONBLOCK the open itself would wait for a named pipe's writer.
    const int fd = ::open(path.CStr(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0)
    {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr)
        ::close(fd);
    return file;
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
// Temporary files are "<target>.tmp" and six letters or digits of mkstemp's choosing.
constexpr const char* kTemporaryInfix = ".tmp";
constexpr std::size_t kTemporaryRandomLength = 6;

std::string directoryOf(const BString& path)
{
    const char* text = path.CStr();
    const char* slash = std::strrchr(text, '/');
    return slash == nullptr ? std::string(".")
           : slash == text  ? std::string("/")
                            : std::string(text, static_cast<std::size_t>(slash - text));
}

std::string fileNameOf(const BString& path)
{
    const char* text = path.CStr();
    const char* slash = std::strrchr(text, '/');
    return std::string(slash == nullptr ? text : slash + 1);
}

bool isAsciiLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isTemporaryName(const char* entry, const std::string& prefix)
{
    if (std::strlen(entry) != prefix.size() + kTemporaryRandomLength
        || std::strncmp(entry, prefix.c_str(), prefix.size()) != 0)
        return false;
    for (std::size_t i = 0; i < kTemporaryRandomLength; ++i)
        if (!isAsciiLetterOrDigit(entry[prefix.size() + i]))
            return false;
    return true;
}

// A living writer holds an exclusive lock on its temporary file until the file has been renamed
// over the target; the kernel drops the lock of a killed process. So a lock that can be taken
// marks a file nobody will finish, and one that cannot marks a save in progress.
bool removeIfAbandoned(int directory, const char* entry)
{
    const int fd = ::openat(directory, entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat opened;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
    {
        // The name must still be the file that was locked: a writer that finished in between
        // has renamed it over the target, and a new file may carry the name by now.
        struct stat named;
        if (::fstatat(directory, entry, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev
            && named.st_ino == opened.st_ino)
            removed = ::unlinkat(directory, entry, 0) == 0;
    }
    ::close(fd);
    return removed;
}

bool syncDirectoryOf(const BString& path)
{
    const std::string directory = directoryOf(path);
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
    RemoveLeftovers(targetPath);

    std::vector<char> pattern(static_cast<std::size_t>(targetPath.Length()) + 16);
    int fd = -1;
    // Another process's clean-up may take a file in the instant between its creation and our
    // lock; it then removes that file, and a fresh one is made.
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt)
    {
        std::snprintf(pattern.data(), pattern.size(), "%s%sXXXXXX", targetPath.CStr(), kTemporaryInfix);
        fd = ::mkstemp(pattern.data());
        if (fd < 0)
            return;
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        const int locked = ::flock(fd, LOCK_EX | LOCK_NB);
        struct stat created;
        // A file system without locks gets no protection, but the save still works.
        const bool taken = locked != 0 && errno == EWOULDBLOCK;
        if (taken || ::fstat(fd, &created) != 0 || created.st_nlink == 0)
        {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0)
        return;

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
    // could leave the new name pointing at an empty file. The file is renamed while still open,
    // so that its lock keeps other processes' clean-up away from it until it is the target.
    const bool synced = ::fsync(fd) == 0;
    const bool renamed = synced && ::rename(tempPath.CStr(), targetPath.CStr()) == 0;
    if (renamed)
        tempPath = BString();
    // The content reached the disk before the rename; a late close error cannot undo that.
    ::close(fd);
    if (!renamed)
    {
        failed = true;
        Discard();
        return false;
    }
    // The rename itself is made durable on a best-effort basis: the file is already complete.
    syncDirectoryOf(targetPath);
    return true;
}

int BAtomicFileWriter::RemoveLeftovers(const BString& target)
{
    if (target.Length() == 0)
        return 0;
    const std::string prefix = fileNameOf(target) + kTemporaryInfix;
    DIR* listing = ::opendir(directoryOf(target).c_str());
    if (listing == nullptr)
        return 0;
    int removed = 0;
    while (const struct dirent* entry = ::readdir(listing))
        if (isTemporaryName(entry->d_name, prefix) && removeIfAbandoned(::dirfd(listing), entry->d_name))
            ++removed;
    ::closedir(listing);
    return removed;
}

void BAtomicFileWriter::removeFile(const BString& path)
{
    ::unlink(path.CStr());
}

void BAtomicFileWriter::closeHandle(std::intptr_t handle)
{
    ::close(static_cast<int>(handle));
}
