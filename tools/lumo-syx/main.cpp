// lumo-syx: shows what the display module would show for a recorded dump file, or live for what
// arrives at a MIDI port (--port).
//
// Every file is split into the messages the MIDI input would deliver and run through the same
// protocol code as the program; each message that sets the display prints one line. A port's
// messages take the same way, so the two outputs compare line by line.
#include "app/protocol/ModuleProtocol.h"
#include "app/protocol/ProgramNameTable.h"
#include "base/TIniFile.h"
#include "tools/lumo-syx/LivePort.h"
#include "midi/MidiStreamSplitter.h"

#include <LumoVersion.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr int kExitOk = 0;
constexpr int kExitError = 2;

const char* const kUsage =
    "Usage: lumo-syx [--channel omni|1..16] [--settings FILE] FILE...\n"
    "       lumo-syx [--channel omni|1..16] [--settings FILE] --port NAME\n"
    "\n"
    "Reads each FILE as a raw dump of MIDI messages (as written by the \"/dump\" option) and\n"
    "prints one line for every message that sets the module's display: the top line and the\n"
    "bottom line, each in double quotes, separated by one space. An empty top line shows as one\n"
    "space.\n"
    "\n"
    "With --port it listens on the MIDI input port NAME instead (a port another program sends\n"
    "from, named as the program's port dialog names it) and prints the same lines as the\n"
    "messages arrive, until interrupted (Ctrl+C or SIGTERM; exit status 0).\n"
    "\n"
    "Options:\n"
    "  --channel omni|1..16  receive channel for Program Changes (default: \"ReceiveChannel\" of\n"
    "                        the settings file, else omni)\n"
    "  --settings FILE       settings file to take the program names and receive channel from\n"
    "                        (default: no names, so every program shows its default name)\n"
    "  --port NAME           listen on that MIDI input port instead of reading files\n"
    "  --help                show this text\n"
    "  --version             show the program's version\n"
    "  --                    end of options\n"
    "\n"
    "Splitting: a System Exclusive message of up to 1024 bytes is one message, a longer one\n"
    "arrives as pieces of 1024 bytes with the rest last. Real-time bytes (F8-FF) are messages of\n"
    "their own wherever they stand, even inside System Exclusive. Another status byte inside an\n"
    "unterminated System Exclusive message, or the end of the file, ends it without F7: the bytes\n"
    "so far are handed over as they are. Stray data bytes and incomplete messages are skipped.\n"
    "Each of these irregularities is reported on standard error; they do not change the exit\n"
    "status.\n"
    "\n"
    "Exit status: 0 on success, 2 for bad arguments, a file that cannot be read (the other\n"
    "files are still decoded) or a port that is not there, cannot be opened or goes away.\n";

// Prints each display change as the display would show it.
class ConsoleDisplay : public ModuleDisplay
{
public:
    void setDisplayText(const BString& top, const BString& bottom) override
    {
        std::printf("\"%s\" \"%s\"\n", shownTopLine(top).CStr(), bottom.CStr());
    }

    void programShown(int) override {}
};

struct Options
{
    bool help = false;
    bool version = false;
    bool channelGiven = false;
    int channel = ModuleProtocol::kOmni;
    std::string settingsPath;
    std::string port;
    std::vector<std::string> files;
};

bool parseChannel(const std::string& text, int& channel)
{
    if (BString(text.c_str()).Equals(BString("omni"), true))
    {
        channel = ModuleProtocol::kOmni;
        return true;
    }
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int number = std::stoi(text);
    if (number < 1 || number > 16)
        return false;
    channel = number - 1;
    return true;
}

// Returns false with a message in `error` for bad arguments.
bool parseArguments(int argc, char** argv, Options& options, std::string& error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-")
        {
            options.files.push_back(argument);
            continue;
        }
        if (argument == "--")
        {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h")
        {
            options.help = true;
            continue;
        }
        if (argument == "--version")
        {
            options.version = true;
            continue;
        }
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        const std::size_t equals = argument.find('=');
        if (equals != std::string::npos)
        {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        if (name != "--channel" && name != "--settings" && name != "--port")
        {
            error = "unknown option '" + argument + "'";
            return false;
        }
        if (!hasValue)
        {
            if (i + 1 >= argc)
            {
                error = "option '" + name + "' needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (name == "--channel")
        {
            if (!parseChannel(value, options.channel))
            {
                error = "invalid channel '" + value + "' (expected omni or 1 to 16)";
                return false;
            }
            options.channelGiven = true;
        }
        else if (value.empty())
        {
            error = name == "--port" ? "option '--port' needs a port name" : "option '--settings' needs a file name";
            return false;
        }
        else if (name == "--port")
            options.port = value;
        else
            options.settingsPath = value;
    }
    if (options.help || options.version)
        return true;
    if (!options.port.empty() && !options.files.empty())
    {
        error = "give either --port or files, not both";
        return false;
    }
    if (options.port.empty() && options.files.empty())
    {
        error = "no input file";
        return false;
    }
    return true;
}

// Reads a whole file; false with the reason in `error` when it cannot be read.
bool readFile(const std::string& path, std::vector<std::uint8_t>& content, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        error = std::strerror(errno);
        return false;
    }
    content.clear();
    std::uint8_t buffer[65536];
    for (;;)
    {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file);
        content.insert(content.end(), buffer, buffer + count);
        if (count < sizeof buffer)
            break;
    }
    const bool failed = std::ferror(file) != 0;
    const int savedErrno = errno;
    std::fclose(file);
    if (failed)
    {
        error = savedErrno != 0 ? std::strerror(savedErrno) : "read error";
        return false;
    }
    return true;
}

// Takes the program names and, unless given on the command line, the receive channel.
bool loadSettings(const Options& options, ProgramNameTable& names, ModuleProtocol& protocol)
{
    TIniFile settings(BString(options.settingsPath.c_str()));
    if (!settings.Load())
    {
        const char* reason = settings.IsXml()    ? "is an XML document, not a settings file"
                             : settings.IsJson() ? "is a JSON document, not a settings file"
                                                 : "cannot be read";
        std::fprintf(stderr, "lumo-syx: settings file '%s' %s\n", options.settingsPath.c_str(), reason);
        return false;
    }
    names.load(settings);
    if (!options.channelGiven)
        protocol.setReceiveChannel(ModuleProtocol::readReceiveChannel(settings, ModuleProtocol::kOmni));
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!parseArguments(argc, argv, options, error))
    {
        std::fprintf(stderr, "lumo-syx: %s\n\n%s", error.c_str(), kUsage);
        return kExitError;
    }
    if (options.help)
    {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (options.version)
    {
        std::printf("lumo-syx %s\n", LUMO_VERSION);
        return kExitOk;
    }

    ConsoleDisplay display;
    ProgramNameTable names;
    ModuleProtocol protocol(display, names);
    protocol.setReceiveChannel(options.channel);
    if (!options.settingsPath.empty() && !loadSettings(options, names, protocol))
        return kExitError;

    if (!options.port.empty())
        return listenOnPort(options.port,
                            [&](const std::uint8_t* data, int length) { protocol.handleMessage(data, length); });

    int status = kExitOk;
    std::vector<std::uint8_t> content;
    for (const std::string& path : options.files)
    {
        if (!readFile(path, content, error))
        {
            std::fflush(stdout);
            std::fprintf(stderr, "lumo-syx: cannot read '%s': %s\n", path.c_str(), error.c_str());
            status = kExitError;
            continue;
        }
        MidiStreamSplitter::split(
            content.data(), content.size(),
            [&](const std::uint8_t* data, int length) { protocol.handleMessage(data, length); },
            [&](const std::string& problem) {
                std::fflush(stdout);
                std::fprintf(stderr, "lumo-syx: %s: %s\n", path.c_str(), problem.c_str());
            });
    }
    std::fflush(stdout);
    return status;
}
