// The module protocol on arbitrary received data. The first byte chooses the receive channel
// (0..15, anything else OMNI); the rest is a raw MIDI stream, split into the messages an input
// would deliver exactly as lumo-syx splits a dump file. The dump file is on throughout, so every
// delivered message must come back out of it byte for byte, and every display line must be one
// the module can show.
#include "app/protocol/ModuleProtocol.h"
#include "app/protocol/ProgramNameTable.h"
#include "fuzz/FuzzTempFolder.h"
#include "midi/MidiStreamSplitter.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace
{
class CheckingDisplay : public ModuleDisplay
{
public:
    void setDisplayText(const BString& top, const BString& bottom) override
    {
        if (top.Length() > 8 || bottom.Length() > 8)
            fuzz::fail("a display line is longer than 8 characters",
                       std::string(top.CStr()) + "|" + bottom.CStr());
        textShown = true;
    }

    void programShown(int program) override
    {
        if (program < 0 || program > 127)
            fuzz::fail("programShown outside 0..127", std::to_string(program));
        if (!textShown)
            fuzz::fail("programShown without the program's name shown first");
        textShown = false;
    }

private:
    bool textShown = false;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const std::string dumpPath = fuzz::scratchFile("dump.syx");

    CheckingDisplay display;
    ProgramNameTable names;
    ModuleProtocol protocol(display, names);
    protocol.setReceiveChannel(data[0] < 16 ? data[0] : ModuleProtocol::kOmni);
    if (!protocol.dumpFile().open(BString(dumpPath.c_str())))
        fuzz::fail("cannot open the dump file", dumpPath);

    std::string delivered;
    MidiStreamSplitter::split(
        data + 1, size - 1,
        [&](const std::uint8_t* message, int length) {
            if (length < 1 || length > MidiStreamSplitter::kSysExPieceSize)
                fuzz::fail("the splitter delivered a message of impossible length", std::to_string(length));
            delivered.append(reinterpret_cast<const char*>(message), static_cast<std::size_t>(length));
            protocol.handleMessage(message, length);
        },
        [](const std::string&) {});
    protocol.dumpFile().close();

    if (fuzz::readFile(dumpPath) != delivered)
        fuzz::fail("the dump file differs from the messages received");
    return 0;
}
