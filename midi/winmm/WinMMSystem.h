// WinMMSystem: the one seam between the WinMM backend and the system. Every WinMM, registry and
// version call of the backend goes through it, with the backend's own small records instead of
// the platform's, so the backend builds and is tested without a Windows header.
//
// The Windows build installs the real system (WinMMSystem_win32.cpp); elsewhere the default
// system has no devices, and tests install a scripted driver with install().
//
// Threads: a system delivers a port's callbacks on a thread of its own, as WinMM does; every
// other operation may be called from any thread. After inClose / outClose returns, no callback
// of that handle runs any more.
#pragma once

#include "base/BString.h"
#include "midi/SystemSeam.h"

#include <atomic>
#include <cstdint>

// The backend's mirror of a WinMM buffer header. The system owns `platform` between prepare and
// unprepare; `bytesRecorded` is filled in before a returned input buffer reaches the callback.
struct WinMidiHeader
{
    unsigned char* data = nullptr;
    std::uint32_t bufferLength = 0;
    std::uint32_t bytesRecorded = 0;
    void* user = nullptr;
    void* platform = nullptr;
};

using WinMidiHandle = void*;
using WinRegKey = void*;

// The driver callback: handle, message, instance data, first and second parameter. For buffer
// messages the first parameter is the WinMidiHeader's address.
using WinMidiCallback = void (*)(WinMidiHandle handle, unsigned message, void* instance, std::uintptr_t param1,
                                 std::uintptr_t param2);

namespace WinMM
{
constexpr unsigned kNoError = 0;
constexpr unsigned kError = 1;
constexpr unsigned kBadDeviceId = 2;
constexpr unsigned kInvalidHandle = 5;
constexpr unsigned kAllocated = 7;
constexpr unsigned kStillPlaying = 65;

constexpr unsigned kInOpen = 0x3C1;
constexpr unsigned kInClose = 0x3C2;
constexpr unsigned kInData = 0x3C3;
constexpr unsigned kInLongData = 0x3C4;
constexpr unsigned kInError = 0x3C5;
constexpr unsigned kInLongError = 0x3C6;
constexpr unsigned kInMoreData = 0x3CC;
constexpr unsigned kOutOpen = 0x3C7;
constexpr unsigned kOutClose = 0x3C8;
constexpr unsigned kOutDone = 0x3C9;

// The WinMM identifier of the MIDI Mapper.
constexpr int kMapperId = -1;

constexpr std::uint32_t kKeyQueryValue = 1;
constexpr std::uint32_t kKeyRead = 0x20019;
} // namespace WinMM

class WinMMSystem : public SystemSeam<WinMMSystem>
{
public:
    virtual ~WinMMSystem() = default;

    // The platform's system (WinMMSystem_win32.cpp / WinMMSystem_posix.cpp). Tests install theirs
    // (SystemSeam) while no device object of the backend exists.
    static WinMMSystem& real();

    // --- Devices (id: the WinMM identifier; outputs accept kMapperId) ---
    virtual int inCount() = 0;
    virtual int outCount() = 0;
    // The capabilities' product name; a WinMM result.
    virtual unsigned inCaps(int id, BString& productName) = 0;
    virtual unsigned outCaps(int id, BString& productName) = 0;
    // The driver's device-interface path in UTF-8; false when the driver does not tell it.
    virtual bool inInterfacePath(int id, BString& path) = 0;
    virtual bool outInterfacePath(int id, BString& path) = 0;
    virtual bool errorText(bool isInput, unsigned code, BString& text) = 0;

    // --- Input ---
    virtual unsigned inOpen(WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance) = 0;
    virtual unsigned inGetId(WinMidiHandle handle) = 0;
    virtual unsigned inStart(WinMidiHandle handle) = 0;
    virtual unsigned inStop(WinMidiHandle handle) = 0;
    virtual unsigned inReset(WinMidiHandle handle) = 0;
    virtual unsigned inClose(WinMidiHandle handle) = 0;
    virtual unsigned inPrepare(WinMidiHandle handle, WinMidiHeader* header) = 0;
    virtual unsigned inUnprepare(WinMidiHandle handle, WinMidiHeader* header) = 0;
    virtual unsigned inAddBuffer(WinMidiHandle handle, WinMidiHeader* header) = 0;

    // --- Output ---
    virtual unsigned outOpen(WinMidiHandle* handle, int id, WinMidiCallback callback, void* instance) = 0;
    virtual unsigned outShortMsg(WinMidiHandle handle, std::uint32_t message) = 0;
    virtual unsigned outPrepare(WinMidiHandle handle, WinMidiHeader* header) = 0;
    virtual unsigned outUnprepare(WinMidiHandle handle, WinMidiHeader* header) = 0;
    virtual unsigned outLongMsg(WinMidiHandle handle, WinMidiHeader* header) = 0;
    virtual unsigned outReset(WinMidiHandle handle) = 0;
    virtual unsigned outClose(WinMidiHandle handle) = 0;

    // --- Registry (HKEY_LOCAL_MACHINE) and version ---
    virtual bool regOpen(const BString& path, std::uint32_t access, WinRegKey* key) = 0;
    // A string value of at most maxBytes bytes.
    virtual bool regQueryString(WinRegKey key, const char* valueName, int maxBytes, BString& value) = 0;
    virtual bool regSubkeyCount(WinRegKey key, int& count) = 0;
    virtual bool regEnumKey(WinRegKey key, int index, BString& name) = 0;
    virtual void regClose(WinRegKey key) = 0;
    // The major version; false when the query fails.
    virtual bool majorVersion(int& major) = 0;

    // Windows Vista (major version 6) or later; asked once per system and kept.
    bool isVistaOrLater();

private:
    // -1 unknown, else 0 / 1.
    std::atomic<int> vistaOrLater{-1};
};
