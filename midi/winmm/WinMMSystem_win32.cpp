// The real system behind the WinMM backend: WinMM, the registry and the version query. The only
// file of the backend that includes a Windows header. Buffer headers are mapped onto MIDIHDR
// records allocated at prepare and freed at a successful unprepare; the callback trampolines map
// them back before the backend sees them.
#include "midi/winmm/WinMMSystem.h"

#include <windows.h>
#include <mmsystem.h>

#include <map>
#include <vector>
#include <mutex>

namespace
{
constexpr UINT kQueryInterfaceSize = 0x80D; // DRV_QUERYDEVICEINTERFACESIZE
constexpr UINT kQueryInterface = 0x80C;     // DRV_QUERYDEVICEINTERFACE

// What a handle's callback goes to; lives from open until the handle is closed.
struct Route
{
    WinMidiCallback callback;
    void* instance;
};

std::uintptr_t mapHeader(UINT message, DWORD_PTR param1)
{
    if (message == MIM_LONGDATA || message == MIM_LONGERROR || message == MOM_DONE)
    {
        auto* platform = reinterpret_cast<MIDIHDR*>(param1);
        auto* header = platform != nullptr ? reinterpret_cast<WinMidiHeader*>(platform->dwUser) : nullptr;
        if (header != nullptr)
            header->bytesRecorded = platform->dwBytesRecorded;
        return reinterpret_cast<std::uintptr_t>(header);
    }
    return static_cast<std::uintptr_t>(param1);
}

void CALLBACK inProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    auto* route = reinterpret_cast<Route*>(instance);
    if (route != nullptr)
        route->callback(handle, message, route->instance, mapHeader(message, param1), param2);
}

void CALLBACK outProc(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    auto* route = reinterpret_cast<Route*>(instance);
    if (route != nullptr)
        route->callback(handle, message, route->instance, mapHeader(message, param1), param2);
}

BString utf8Path(const wchar_t* path, int units)
{
    return BString::FromWide(reinterpret_cast<const BWideChar*>(path), units);
}

class RealWinMMSystem : public WinMMSystem
{
public:
    int inCount() override { return static_cast<int>(midiInGetNumDevs()); }
    int outCount() override { return static_cast<int>(midiOutGetNumDevs()); }

    unsigned inCaps(int id, BString& productName) override
    {
        MIDIINCAPSA caps{};
        const MMRESULT result = midiInGetDevCapsA(static_cast<UINT_PTR>(id), &caps, sizeof(caps));
        if (result == MMSYSERR_NOERROR)
            productName = BString(caps.szPname, 31);
        return result;
    }

    unsigned outCaps(int id, BString& productName) override
    {
        MIDIOUTCAPSA caps{};
        const MMRESULT result =
            midiOutGetDevCapsA(static_cast<UINT_PTR>(static_cast<INT_PTR>(id)), &caps, sizeof(caps));
        if (result == MMSYSERR_NOERROR)
            productName = BString(caps.szPname, 31);
        return result;
    }

    bool inInterfacePath(int id, BString& path) override
    {
        return interfacePath(true, id, path);
    }

    bool outInterfacePath(int id, BString& path) override
    {
        return interfacePath(false, id, path);
    }

    bool errorText(bool isInput, unsigned code, BString& text) override
    {
        char buffer[256] = {};
        const MMRESULT result = isInput ? midiInGetErrorTextA(code, buffer, sizeof(buffer))
                                        : midiOutGetErrorTextA(code, buffer, sizeof(buffer));
        if (result != MMSYSERR_NOERROR)
            return false;
        text = BString(buffer, static_cast<int>(sizeof(buffer)) - 1);
        return true;
    }

    unsigned inOpen(WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance) override
    {
        auto* route = new Route{callback, instance};
        HMIDIIN h = nullptr;
        const MMRESULT result = midiInOpen(&h, static_cast<UINT>(id), reinterpret_cast<DWORD_PTR>(&inProc),
                                           reinterpret_cast<DWORD_PTR>(route), CALLBACK_FUNCTION | MIDI_IO_STATUS);
        return opened(h, route, result, handle);
    }
    unsigned inGetId(WinMidiHandle handle) override
    {
        UINT id = 0;
        return midiInGetID(static_cast<HMIDIIN>(handle), &id);
    }
    unsigned inStart(WinMidiHandle handle) override { return midiInStart(static_cast<HMIDIIN>(handle)); }
    unsigned inStop(WinMidiHandle handle) override { return midiInStop(static_cast<HMIDIIN>(handle)); }
    unsigned inReset(WinMidiHandle handle) override { return midiInReset(static_cast<HMIDIIN>(handle)); }
    unsigned inClose(WinMidiHandle handle) override
    {
        const MMRESULT result = midiInClose(static_cast<HMIDIIN>(handle));
        if (result == MMSYSERR_NOERROR)
            forget(handle);
        return result;
    }
    unsigned inPrepare(WinMidiHandle handle, WinMidiHeader* header) override
    {
        MIDIHDR* platform = platformHeader(header);
        const MMRESULT result = midiInPrepareHeader(static_cast<HMIDIIN>(handle), platform, sizeof(MIDIHDR));
        return prepared(header, result);
    }
    unsigned inUnprepare(WinMidiHandle handle, WinMidiHeader* header) override
    {
        auto* platform = static_cast<MIDIHDR*>(header->platform);
        if (platform == nullptr)
            return MMSYSERR_NOERROR;
        return unprepared(header, midiInUnprepareHeader(static_cast<HMIDIIN>(handle), platform, sizeof(MIDIHDR)));
    }
    unsigned inAddBuffer(WinMidiHandle handle, WinMidiHeader* header) override
    {
        auto* platform = static_cast<MIDIHDR*>(header->platform);
        if (platform == nullptr)
            return MIDIERR_UNPREPARED;
        platform->dwBytesRecorded = 0;
        return midiInAddBuffer(static_cast<HMIDIIN>(handle), platform, sizeof(MIDIHDR));
    }

    unsigned outOpen(WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance) override
    {
        auto* route = new Route{callback, instance};
        HMIDIOUT h = nullptr;
        const MMRESULT result =
            midiOutOpen(&h, static_cast<UINT>(id), reinterpret_cast<DWORD_PTR>(&outProc),
                        reinterpret_cast<DWORD_PTR>(route), CALLBACK_FUNCTION);
        return opened(h, route, result, handle);
    }
    unsigned outShortMsg(WinMidiHandle handle, std::uint32_t message) override
    {
        return midiOutShortMsg(static_cast<HMIDIOUT>(handle), message);
    }
    unsigned outPrepare(WinMidiHandle handle, WinMidiHeader* header) override
    {
        MIDIHDR* platform = platformHeader(header);
        return prepared(header, midiOutPrepareHeader(static_cast<HMIDIOUT>(handle), platform, sizeof(MIDIHDR)));
    }
    unsigned outUnprepare(WinMidiHandle handle, WinMidiHeader* header) override
    {
        auto* platform = static_cast<MIDIHDR*>(header->platform);
        if (platform == nullptr)
            return MMSYSERR_NOERROR;
        return unprepared(header, midiOutUnprepareHeader(static_cast<HMIDIOUT>(handle), platform, sizeof(MIDIHDR)));
    }
    unsigned outLongMsg(WinMidiHandle handle, WinMidiHeader* header) override
    {
        auto* platform = static_cast<MIDIHDR*>(header->platform);
        if (platform == nullptr)
            return MIDIERR_UNPREPARED;
        return midiOutLongMsg(static_cast<HMIDIOUT>(handle), platform, sizeof(MIDIHDR));
    }
    unsigned outReset(WinMidiHandle handle) override { return midiOutReset(static_cast<HMIDIOUT>(handle)); }
    unsigned outClose(WinMidiHandle handle) override
    {
        const MMRESULT result = midiOutClose(static_cast<HMIDIOUT>(handle));
        if (result == MMSYSERR_NOERROR)
            forget(handle);
        return result;
    }

    bool regOpen(const BString& path, std::uint32_t access, WinRegKey* key) override
    {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.CStr(), 0, access, &opened) != ERROR_SUCCESS)
            return false;
        *key = opened;
        return true;
    }
    bool regQueryString(WinRegKey key, const char* valueName, int maxBytes, BString& value) override
    {
        char buffer[256] = {};
        DWORD size = static_cast<DWORD>(maxBytes < 255 ? maxBytes : 255);
        DWORD type = 0;
        if (RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                             &size) != ERROR_SUCCESS)
            return false;
        value = BString(buffer, static_cast<int>(size));
        value = BString(value.CStr()); // up to the first zero
        return true;
    }
    bool regSubkeyCount(WinRegKey key, int& count) override
    {
        DWORD subkeys = 0;
        if (RegQueryInfoKeyW(static_cast<HKEY>(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        count = static_cast<int>(subkeys);
        return true;
    }
    bool regEnumKey(WinRegKey key, int index, BString& name) override
    {
        char buffer[201] = {};
        DWORD length = 200;
        if (RegEnumKeyExA(static_cast<HKEY>(key), static_cast<DWORD>(index), buffer, &length, nullptr, nullptr,
                          nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        name = BString(buffer, static_cast<int>(length));
        return true;
    }
    void regClose(WinRegKey key) override { RegCloseKey(static_cast<HKEY>(key)); }
    bool majorVersion(int& major) override
    {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof(info);
        if (!GetVersionExA(&info))
            return false;
        major = static_cast<int>(info.dwMajorVersion);
        return true;
    }

private:
    bool interfacePath(bool isInput, int id, BString& path)
    {
        if (id < 0)
            return false;
        ULONG size = 0;
        const auto query = [&](UINT message, DWORD_PTR param1, DWORD_PTR param2) {
            return isInput ? midiInMessage(reinterpret_cast<HMIDIIN>(static_cast<UINT_PTR>(id)), message, param1, param2)
                           : midiOutMessage(reinterpret_cast<HMIDIOUT>(static_cast<UINT_PTR>(id)), message, param1,
                                            param2);
        };
        if (query(kQueryInterfaceSize, reinterpret_cast<DWORD_PTR>(&size), 0) != MMSYSERR_NOERROR || size < 1 ||
            size > 9999)
            return false;
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        if (query(kQueryInterface, reinterpret_cast<DWORD_PTR>(buffer.data()), size) != MMSYSERR_NOERROR)
            return false;
        path = utf8Path(buffer.data(), static_cast<int>(size / sizeof(wchar_t)));
        return true;
    }

    unsigned opened(void* h, Route* route, MMRESULT result, WinMidiHandle* handle)
    {
        *handle = h;
        if (h == nullptr)
        {
            delete route;
            return result;
        }
        std::lock_guard<std::mutex> guard(mutex);
        routes[h] = route;
        return result;
    }

    void forget(WinMidiHandle handle)
    {
        Route* route = nullptr;
        {
            std::lock_guard<std::mutex> guard(mutex);
            auto found = routes.find(handle);
            if (found == routes.end())
                return;
            route = found->second;
            routes.erase(found);
        }
        delete route; // no callback of a closed handle runs any more
    }

    static MIDIHDR* platformHeader(WinMidiHeader* header)
    {
        auto* platform = static_cast<MIDIHDR*>(header->platform);
        if (platform == nullptr)
        {
            platform = new MIDIHDR{};
            platform->lpData = reinterpret_cast<LPSTR>(header->data);
            platform->dwBufferLength = header->bufferLength;
            platform->dwUser = reinterpret_cast<DWORD_PTR>(header);
            header->platform = platform;
        }
        return platform;
    }

    static unsigned prepared(WinMidiHeader* header, MMRESULT result)
    {
        if (result != MMSYSERR_NOERROR)
        {
            delete static_cast<MIDIHDR*>(header->platform);
            header->platform = nullptr;
        }
        return result;
    }

    static unsigned unprepared(WinMidiHeader* header, MMRESULT result)
    {
        if (result == MMSYSERR_NOERROR)
        {
            delete static_cast<MIDIHDR*>(header->platform);
            header->platform = nullptr;
        }
        return result;
    }

    std::mutex mutex;
    std::map<void*, Route*> routes;
};
} // namespace

WinMMSystem& WinMMSystem::real()
{
    static RealWinMMSystem system;
    return system;
}
