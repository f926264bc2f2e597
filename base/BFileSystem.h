// File-system helpers of the foundation: whole-file reading, directory-chain creation, existence
// checks and crash-safe replacement of a file's content.
//
// Paths are 8-bit texts handed to the operating system's narrow interfaces unchanged. Components
// are separated by the platform's separator (BString::PathSeparator(): a backslash in the Windows
// build, a slash elsewhere), the same one that BString's path helpers split on.
//
// All operations are thread-compatible: they keep no state of their own, so different threads may
// use them at the same time on different files.
#pragma once

#include "base/BString.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace BFileSystem
{
/** True when `path` names something that exists and is not a directory. */
bool FileExists(const BString& path);

/** True when `path` names an existing directory. */
bool DirectoryExists(const BString& path);

/**
 * True when `path` is a file that its attributes forbid replacing: one with the read-only attribute
 * on Windows. POSIX lets a file be replaced whatever its own permissions (its folder's decide),
 * so there it is always false.
 */
bool IsReadOnlyFile(const BString& path);

/** True for the paths that need no creation: "\", "X:" and "X:\" on Windows, "/" elsewhere. */
bool IsRootPath(const BString& path);

/** Creates one directory whose parent exists; true when it was created. */
bool MakeDirectory(const BString& path);

/**
 * Creates the directory `path` and every missing directory above it. Succeeds at once for a root
 * or an existing directory; fails for an empty path, for a relative path whose first component is
 * missing, and when any directory of the chain cannot be created (for example because a file of
 * that name is in the way).
 */
bool ForceDirectories(const BString& path);

/**
 * Opens a file for binary reading ("rb"); null for anything that is not a plain file on a disk
 * (a folder, a named pipe, a device), which a reader of whole files could wait on for ever.
 */
std::FILE* OpenPlainFileForReading(const BString& path);

/**
 * Reads the whole file into a new buffer of exactly the file's size (no terminating NUL is
 * added) and stores that size in `size`. On failure returns null, sets `size` to 0 and, when
 * `message` is given, stores one of:
 *   "error opening file: : <path>"
 *   "file too large (2GB limit): <path>"          (2,147,483,647 bytes or more)
 *   "out of memory (trying to allocate <n> bytes)."
 *   "error reading file into buffer : <path>"
 * A directory cannot be opened as a file. The caller owns the buffer.
 */
std::unique_ptr<char[]> ReadWholeFile(const BString& path, std::int64_t& size,
                                      BString* message = nullptr);
} // namespace BFileSystem

/**
 * Replaces the content of one file so that the file is never seen truncated or half written:
 * the new bytes go into a temporary file in the target's own folder, which `Commit` flushes to
 * the disk and then renames over the target in one step. Until `Commit` succeeds the target
 * keeps its old content; a writer destroyed without a successful `Commit` (an error, an early
 * return, an exception) removes its temporary file and leaves the target untouched.
 *
 * A save killed part-way (power cut, SIGKILL, TerminateProcess) leaves its temporary file behind;
 * every new writer first removes such leftovers of its own target (see `RemoveLeftovers`), so they
 * never pile up in the folder.
 *
 * A target that `BFileSystem::IsReadOnlyFile` calls read-only is never replaced: the writer does
 * not open.
 *
 * The target's folder must exist. One object writes one file once, on one thread at a time.
 * Not copyable.
 */
class BAtomicFileWriter
{
public:
    /** Creates the temporary file beside `targetPath`; check `IsOpen` for success. */
    explicit BAtomicFileWriter(const BString& targetPath);

    /** Discards the temporary file unless `Commit` has succeeded. */
    ~BAtomicFileWriter();

    BAtomicFileWriter(const BAtomicFileWriter&) = delete;
    BAtomicFileWriter& operator=(const BAtomicFileWriter&) = delete;

    /** True while the temporary file is open for writing and no write has failed. */
    bool IsOpen() const;

    /** Appends bytes to the temporary file; false (and the writer is spent) when that fails. */
    bool Write(const void* data, std::size_t size);

    /**
     * Flushes the temporary file to the disk, closes it and renames it over the target. Returns
     * true only when the target now holds everything written; on false the target is unchanged
     * and the temporary file is gone.
     */
    bool Commit();

    /** Closes and removes the temporary file; the target is left as it was. */
    void Discard();

    /** The temporary file's path (empty when it could not be created). */
    const BString& TemporaryPath() const { return tempPath; }

    /** The file that `Commit` replaces. */
    const BString& TargetPath() const { return targetPath; }

    /**
     * Removes the temporary files that writers of `targetPath` left behind when their process
     * died before finishing. Only names this class makes for that target are considered, only
     * plain files, and never one that a living writer (of any process) is still filling. Returns
     * how many were removed; failures are silent (the files are simply left for a later try).
     */
    static int RemoveLeftovers(const BString& targetPath);

private:
    void CloseFile();
    // The platform's two calls that Discard and CloseFile need.
    static void removeFile(const BString& path);
    static void closeHandle(std::intptr_t handle);

    BString targetPath;
    BString tempPath;
    std::intptr_t handle; // platform file handle or descriptor; kNoHandle when closed
    bool failed = false;

    static const std::intptr_t kNoHandle;
};
