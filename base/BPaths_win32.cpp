// Program paths on Windows.
#include "base/BPaths.h"

#include <vector>

#include <windows.h>
#include <shlobj.h>

BString executablePath()
{
    // GetModuleFileNameA truncates silently (returning the buffer size) when the path is longer.
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;)
    {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return BString();
        if (length < buffer.size())
            return BString(buffer.data(), static_cast<int>(length));
        if (buffer.size() >= 32768)
            return BString();
        buffer.resize(buffer.size() * 2);
    }
}

BString companyDataFolder()
{
    char folder[MAX_PATH + 1] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, folder, CSIDL_APPDATA, FALSE))
        folder[0] = '\0';
    return BString(folder) + "\\Vantor Quorvel";
}
