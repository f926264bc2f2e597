// A fresh directory for one test, removed with everything in it when the test ends, and small
// helpers to put exact bytes into files and read them back.
#pragma once

#include "base/BString.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace lumo_test
{
class TempDirectory
{
public:
    TempDirectory()
    {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const std::filesystem::path candidate =
                base / ("lumo-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
            if (std::filesystem::create_directory(candidate))
            {
                root = candidate;
                return;
            }
        }
        throw std::runtime_error("cannot create a temporary directory");
    }

    ~TempDirectory()
    {
        std::error_code ignored;
        // Tests may have taken away permissions; give them back so that removal works.
        std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(root, ignored);
    }

    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::filesystem::path path(const std::string& relative) const { return root / relative; }
    // The path of `relative` inside the directory, as a string.
    std::string file(const std::string& relative) const { return (root / relative).string(); }

    // The path of `relative` inside the directory, as the 8-bit text the library takes.
    BString text(const std::string& relative = std::string()) const
    {
        return BString((relative.empty() ? root : root / relative).string());
    }

    // Names of the entries directly inside the directory, sorted.
    std::string listing() const
    {
        std::vector<std::string> entries;
        for (const auto& entry : std::filesystem::directory_iterator(root))
            entries.push_back(entry.path().filename().string());
        std::sort(entries.begin(), entries.end());
        std::string names;
        for (const std::string& name : entries)
            names += (names.empty() ? "" : " ") + name;
        return names;
    }

private:
    std::filesystem::path root;
};

inline void writeBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

inline std::string readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file's bytes as numbers; empty when it cannot be read.
inline std::vector<unsigned char> readByteValues(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace lumo_test
