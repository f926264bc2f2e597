#include "midi/winmm/WinMMSystem.h"

namespace
{
// Outside Windows the backend only runs against a system a test installs; by default there is
// nothing to open.
class NoWinMMSystem : public WinMMSystem
{
public:
    int inCount() override { return 0; }
    int outCount() override { return 0; }
    unsigned inCaps(int, BString&) override { return WinMM::kBadDeviceId; }
    unsigned outCaps(int, BString&) override { return WinMM::kBadDeviceId; }
    bool inInterfacePath(int, BString&) override { return false; }
    bool outInterfacePath(int, BString&) override { return false; }
    bool errorText(bool, unsigned, BString&) override { return false; }
    unsigned inOpen(WinMidiHandle*, int, WinMidiCallback, void*) override { return WinMM::kBadDeviceId; }
    unsigned inGetId(WinMidiHandle) override { return WinMM::kInvalidHandle; }
    unsigned inStart(WinMidiHandle) override { return WinMM::kInvalidHandle; }
    unsigned inStop(WinMidiHandle) override { return WinMM::kInvalidHandle; }
    unsigned inReset(WinMidiHandle) override { return WinMM::kInvalidHandle; }
    unsigned inClose(WinMidiHandle) override { return WinMM::kInvalidHandle; }
    unsigned inPrepare(WinMidiHandle, WinMidiHeader*) override { return WinMM::kInvalidHandle; }
    unsigned inUnprepare(WinMidiHandle, WinMidiHeader*) override { return WinMM::kInvalidHandle; }
    unsigned inAddBuffer(WinMidiHandle, WinMidiHeader*) override { return WinMM::kInvalidHandle; }
    unsigned outOpen(WinMidiHandle*, int, WinMidiCallback, void*) override { return WinMM::kBadDeviceId; }
    unsigned outShortMsg(WinMidiHandle, std::uint32_t) override { return WinMM::kInvalidHandle; }
    unsigned outPrepare(WinMidiHandle, WinMidiHeader*) override { return WinMM::kInvalidHandle; }
    unsigned outUnprepare(WinMidiHandle, WinMidiHeader*) override { return WinMM::kInvalidHandle; }
    unsigned outLongMsg(WinMidiHandle, WinMidiHeader*) override { return WinMM::kInvalidHandle; }
    unsigned outReset(WinMidiHandle) override { return WinMM::kInvalidHandle; }
    unsigned outClose(WinMidiHandle) override { return WinMM::kInvalidHandle; }
    bool regOpen(const BString&, std::uint32_t, WinRegKey*) override { return false; }
    bool regQueryString(WinRegKey, const char*, int, BString&) override { return false; }
    bool regSubkeyCount(WinRegKey, int&) override { return false; }
    bool regEnumKey(WinRegKey, int, BString&) override { return false; }
    void regClose(WinRegKey) override {}
    bool majorVersion(int&) override { return false; }
};
} // namespace

WinMMSystem& WinMMSystem::real()
{
    static NoWinMMSystem system;
    return system;
}
