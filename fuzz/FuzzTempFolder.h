// The fuzz targets' scratch folder: one per process, created on first use, removed with its
// files when the process ends normally (a crashing run leaves it for inspection).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz
{
/** The full path of `name` inside this process's scratch folder. */
std::string scratchFile(const std::string& name);

/** Writes the bytes to the file, replacing it; aborts when that fails. */
void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

/** The file's whole content; "" when it does not exist. */
std::string readFile(const std::string& path);

/** Removes the file if it exists. */
void removeFile(const std::string& path);

/** Prints the message with the target's name and aborts, so that libFuzzer keeps the input. */
[[noreturn]] void fail(const char* what, const std::string& detail = std::string());
} // namespace fuzz
