#include "fuzz/FuzzTempFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

namespace fuzz
{
namespace
{
class ScratchFolder
{
public:
    ScratchFolder()
    {
        folder = std::filesystem::temp_directory_path()
            / ("lumo-fuzz-" + std::to_string(static_cast<long>(::getpid())));
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error)
            fail("cannot create the scratch folder", folder.string());
    }

    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path folder;
};

ScratchFolder& scratch()
{
    static ScratchFolder instance;
    return instance;
}
} // namespace

std::string scratchFile(const std::string& name)
{
    return (scratch().folder / name).string();
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out)
        fail("cannot write", path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void removeFile(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

void fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n%s\n", what, detail.c_str());
    std::abort();
}
} // namespace fuzz
