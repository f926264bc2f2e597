// Windows side of the file-system helpers (narrow "A" interfaces: paths are 8-bit texts).
#include "base/BFileSystem.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include <windows.h>

namespace BFileSystem
{
bool FileExists(const BString& path)
{
    if (path.Length() == 0)
        return false;
    const DWORD attributes = ::GetFileAttributesA(path.CStr());
    return attributes != INVALID_FILE_ATTRIBUTES
           && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const BString& path)
{
    if (path.Length() == 0)
        return false;
    const DWORD attributes = ::GetFileAttributesA(path.CStr());
    return attributes != INVALID_FILE_ATTRIBUTES
           && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReadOnlyFile(const BString& path)
{
    if (path.Length() == 0)
        return false;
    const DWORD attributes = ::GetFileAttributesA(path.CStr());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0
           && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool IsRootPath(const BString& path)
{
    const char* text = path.CStr();
    const int length = path.Length();
    if (length == 1)
        return text[0] == '\\';
    const bool driveLetter = (text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z');
    return driveLetter && text[1] == ':' && (length == 2 || (length == 3 && text[2] == '\\'));
}

std::FILE* OpenPlainFileForReading(const BString& path)
{
    // Pipes and devices are reached through names of their own, never through a folder's file.
    return std::fopen(path.CStr(), "rb");
}

bool MakeDirectory(const BString& path)
{
    if (::CreateDirectoryA(path.CStr(), nullptr))
        return true;
    // Another process may have created it between our check and our attempt.
    return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path);
}
} // namespace BFileSystem

namespace
{
HANDLE toHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

std::atomic<unsigned> temporaryCounter{0};

// Temporary files are "<target>.tmp<process id>-<counter>", both numbers in hexadecimal.
constexpr const char* kTemporaryInfix = ".tmp";

bool parseHex(const char*& text, unsigned long& value)
{
    const char* start = text;
    value = 0;
    for (; (*text >= '0' && *text <= '9') || (*text >= 'a' && *text <= 'f'); ++text)
        value = value * 16 + static_cast<unsigned long>(*text <= '9' ? *text - '0' : *text - 'a' + 10);
    return text != start && text - start <= 8;
}

// The process id of a temporary file's writer, or false when `tail` (the name after the infix)
// is not of the writer's pattern.
bool writerOf(const char* tail, unsigned long& processId)
{
    unsigned long counter = 0;
    if (!parseHex(tail, processId) || *tail != '-')
        return false;
    ++tail;
    return parseHex(tail, counter) && *tail == 0;
}

bool processIsRunning(unsigned long processId)
{
    if (processId == ::GetCurrentProcessId())
        return true;
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr)
        // Access denied means it exists; any other failure that it does not.
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}
} // namespace

const std::intptr_t BAtomicFileWriter::kNoHandle = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);

BAtomicFileWriter::BAtomicFileWriter(const BString& target)
    : targetPath(target), handle(kNoHandle)
{
    if (targetPath.Length() == 0)
        return;
    // Windows refuses to replace a read-only file, but only in the final move, after the whole
    // write; Wine replaces it regardless, throwing away the owner's protection. Refused here, the
    // failure shows before anything is written, in the same way on both.
    if (BFileSystem::IsReadOnlyFile(targetPath))
        return;
    RemoveLeftovers(targetPath);

    // The name only has to be unique among concurrent writers of the same target; CREATE_NEW
    // guarantees that nothing existing is ever opened or overwritten.
    for (int attempt = 0; attempt < 16; ++attempt)
    {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, "%s%lx-%x", kTemporaryInfix, static_cast<unsigned long>(::GetCurrentProcessId()),
                      temporaryCounter.fetch_add(1));
        const BString candidate = targetPath + suffix;
        // Others may look at the half-written file but never change, rename or delete it.
        const HANDLE file = ::CreateFileA(candidate.CStr(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
        {
            tempPath = candidate;
            handle = reinterpret_cast<std::intptr_t>(file);
            return;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return;
    }
}

bool BAtomicFileWriter::Write(const void* data, std::size_t size)
{
    if (!IsOpen())
        return false;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0)
    {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(toHandle(handle), bytes, chunk, &written, nullptr) || written == 0)
        {
            failed = true;
            return false;
        }
        bytes += written;
        size -= written;
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
    const HANDLE file = toHandle(handle);
    handle = kNoHandle;
    // The data must be on the disk before the move makes it the file's content, or a power cut
    // could leave the target name pointing at an empty file.
    const bool flushed = ::FlushFileBuffers(file) != 0;
    const bool closed = ::CloseHandle(file) != 0;
    if (!flushed || !closed
        || !::MoveFileExA(tempPath.CStr(), targetPath.CStr(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        failed = true;
        Discard();
        return false;
    }
    tempPath = BString();
    return true;
}

int BAtomicFileWriter::RemoveLeftovers(const BString& target)
{
    const int length = target.Length();
    if (length == 0)
        return 0;
    const char* text = target.CStr();
    int nameStart = length;
    while (nameStart > 0 && text[nameStart - 1] != '\\' && text[nameStart - 1] != '/' && text[nameStart - 1] != ':')
        --nameStart;
    const BString folder = target.SubString(0, nameStart);
    const BString prefix = target.SubString(nameStart, length - nameStart) + kTemporaryInfix;

    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((target + kTemporaryInfix + "*").CStr(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int removed = 0;
    do
    {
        unsigned long processId = 0;
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0
            || std::strncmp(found.cFileName, prefix.CStr(), static_cast<std::size_t>(prefix.Length())) != 0
            || !writerOf(found.cFileName + prefix.Length(), processId) || processIsRunning(processId))
            continue;
        // A file still open (a writer's handle shares no deletion) refuses this; it stays.
        if (::DeleteFileA((folder + found.cFileName).CStr()))
            ++removed;
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return removed;
}

void BAtomicFileWriter::removeFile(const BString& path)
{
    ::DeleteFileA(path.CStr());
}

void BAtomicFileWriter::closeHandle(std::intptr_t handle)
{
    ::CloseHandle(toHandle(handle));
}
