#include "midi/winmm/UsbRegistryLookup.h"

#include "midi/winmm/WinMMSystem.h"

namespace
{
constexpr int kMaxValueBytes = 200;
const char* const kUsbEnumPath = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";

// The text from position to the next '#' (or the end); position moves past the '#'.
BString field(const BString& text, int& position)
{
    const int start = position;
    while (position < text.Length() && text.CStr()[position] != '#')
        ++position;
    BString result = text.SubString(start, position - start);
    if (position < text.Length())
        ++position;
    return result;
}

// Ours: the subkey of hardwarePath whose "ParentIdPrefix" begins the instance field.
void findParent(WinMMSystem& system, const BString& hardware, const BString& instance, BString& parentInstanceId)
{
    BString path = BString(kUsbEnumPath) + hardware;
    int lastAmpersand = -1;
    for (int i = 0; i < path.Length(); ++i)
        if (path.CStr()[i] == '&')
            lastAmpersand = i;
    if (lastAmpersand < 0)
        return;
    path = path.SubString(0, lastAmpersand);

    WinRegKey key = nullptr;
    if (!system.regOpen(path, WinMM::kKeyRead, &key))
        return;
    int count = 0;
    if (system.regSubkeyCount(key, count))
    {
        for (int i = 0; i < count; ++i)
        {
            BString name;
            if (!system.regEnumKey(key, i, name))
                continue;
            WinRegKey sub = nullptr;
            if (!system.regOpen(path + "\\" + name, WinMM::kKeyQueryValue, &sub))
                continue;
            BString prefix;
            const bool matches = system.regQueryString(sub, "ParentIdPrefix", kMaxValueBytes, prefix) &&
                                 !prefix.IsEmpty() && instance.StartsWith(prefix, true);
            system.regClose(sub);
            if (matches)
            {
                parentInstanceId = name;
                break;
            }
        }
    }
    system.regClose(key);
}
} // namespace

bool UsbRegistryLookup::find(const BString& interfaceName, BString& usbName, BString& parentInstanceId)
{
    static const BString kPrefix("\\\\?\\usb#");
    if (!interfaceName.StartsWith(kPrefix, true))
        return false;
    int position = kPrefix.Length();
    const BString hardware = field(interfaceName, position);
    const BString instance = field(interfaceName, position);
    if (hardware.IsEmpty() || instance.IsEmpty())
        return false;

    WinMMSystem& system = WinMMSystem::get();
    WinRegKey key = nullptr;
    if (!system.regOpen(BString(kUsbEnumPath) + hardware + "\\" + instance, WinMM::kKeyQueryValue, &key))
        return false;
    bool found = false;
    BString service;
    if (system.regQueryString(key, "Service", kMaxValueBytes, service) && service.Equals("usbaudio", true))
    {
        const char* valueName = system.isVistaOrLater() ? "FriendlyName" : "LocationInformation";
        BString value;
        if (system.regQueryString(key, valueName, kMaxValueBytes, value))
        {
            usbName = value;
            found = true;
        }
    }
    system.regClose(key);

    if (found)
        findParent(system, hardware, instance, parentInstanceId);
    return found;
}
