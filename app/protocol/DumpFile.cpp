#include "app/protocol/DumpFile.h"

const char* const DumpFile::kDefaultFileName = "LUMO_dump.syx";

bool DumpFile::isRequested(const BString& commandLine)
{
    return commandLine.FindNoCase(BString("/dump")) >= 0 || commandLine.FindNoCase(BString("-dump")) >= 0;
}

DumpFile::~DumpFile()
{
    close();
}

bool DumpFile::open(const BString& path)
{
    std::printf("Dumping to %s...\n", path.CStr());
    std::fflush(stdout);

    // Opened outside the lock: the MIDI thread must never wait for the file system.
    std::FILE* const opened = std::fopen(path.CStr(), "wb+");
    std::FILE* previous = nullptr;
    {
        const std::lock_guard<std::mutex> guard(lock);
        previous = file;
        file = opened;
    }
    if (previous != nullptr)
        std::fclose(previous);
    return opened != nullptr;
}

bool DumpFile::append(const std::uint8_t* data, int length)
{
    if (data == nullptr || length <= 0)
        return true;
    const std::lock_guard<std::mutex> guard(lock);
    if (file == nullptr)
        return true;
    const std::size_t count = static_cast<std::size_t>(length);
    const bool written = std::fwrite(data, 1, count, file) == count;
    return std::fflush(file) == 0 && written;
}

void DumpFile::close()
{
    std::FILE* closing = nullptr;
    {
        const std::lock_guard<std::mutex> guard(lock);
        closing = file;
        file = nullptr;
    }
    if (closing != nullptr)
        std::fclose(closing);
}

bool DumpFile::isOpen() const
{
    const std::lock_guard<std::mutex> guard(lock);
    return file != nullptr;
}
