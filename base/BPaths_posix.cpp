// Program paths on Linux and other POSIX systems.
#include "base/BPaths.h"

#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

namespace
{
const char kCompanyFolder[] = "Vantor Quorvel";

BString homeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return BString(home);
    // Services and some sandboxes run without HOME; the account database still knows it.
    const passwd* account = ::getpwuid(::getuid());
    return account != nullptr && account->pw_dir != nullptr ? BString(account->pw_dir) : BString();
}
} // namespace

BString executablePath()
{
    // readlink does not say whether it truncated, so grow until the answer leaves room to spare.
    std::vector<char> buffer(256);
    for (;;)
    {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return BString();
        if (static_cast<std::size_t>(length) < buffer.size())
            return BString(buffer.data(), static_cast<int>(length));
        if (buffer.size() >= (1u << 20))
            return BString();
        buffer.resize(buffer.size() * 2);
    }
}

BString companyDataFolder()
{
    // Relative values of XDG_CONFIG_HOME are invalid and must be ignored.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    BString folder = configHome != nullptr && configHome[0] == '/' ? BString(configHome)
                                                                   : homeDirectory() + "/.config";
    while (folder.Length() > 1 && folder.CStr()[folder.Length() - 1] == '/')
        folder.SetLength(folder.Length() - 1);
    if (folder.Length() == 0 || folder.CStr()[folder.Length() - 1] != '/')
        folder.Append('/');
    folder.Append(kCompanyFolder);
    return folder;
}
