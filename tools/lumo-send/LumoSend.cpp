#include "tools/lumo-send/LumoSend.h"

#include "app/protocol/ModuleProtocol.h"
#include "base/Exception.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/MidiStreamSplitter.h"

#include <LumoVersion.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr int kUsageError = 2;
constexpr int kFailure = 1;

const char* const kUsage = "usage: lumo-send --list\n"
                           "       lumo-send --version\n"
                           "       lumo-send --help\n"
                           "       lumo-send --port NAME --text TOP BOTTOM\n"
                           "       lumo-send --port NAME --program N [--channel C]\n"
                           "       lumo-send --port NAME FILE.syx...\n";

const char* const kHelp =
    "\n"
    "Sends to a MIDI port (Linux: of JACK or the ALSA sequencer; Windows: of WinMM, the MIDI\n"
    "Mapper included).\n"
    "  --list                the ports a message can be sent to, one a line\n"
    "  --port NAME           the port to send to, as --list shows it\n"
    "  --text TOP BOTTOM     a display message with two lines of up to 8 characters\n"
    "  --program N           a Program Change to program N (0 to 127)\n"
    "  --channel C           its MIDI channel (1 to 16, default 1)\n"
    "  FILE.syx...           the messages of dump files, in order\n"
    "  --version             show the program's version\n"
    "  -h, --help            show this text\n"
    "\n"
    "Exit status: 0 sent, 1 nothing could be sent (no MIDI system, no such port, a port that\n"
    "cannot be opened, unreadable file), 2 wrong usage or text the module cannot show.\n";

int usage(const std::string& problem)
{
    if (!problem.empty())
        std::fprintf(stderr, "lumo-send: %s\n", problem.c_str());
    std::fputs(kUsage, stderr);
    return kUsageError;
}

bool parseNumber(const std::string& text, int low, int high, int& value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

struct Options
{
    bool list = false;
    bool help = false;
    bool version = false;
    std::string port;
    bool text = false;
    std::string top;
    std::string bottom;
    int program = -1;
    int channel = 1;
    std::vector<std::string> files;
};

// Empty on success, else the problem.
std::string parse(int argc, char** argv, Options& options)
{
    bool channelGiven = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&](int count) { return i + count < argc; };
        if (arg == "--list")
            options.list = true;
        else if (arg == "--version")
            options.version = true;
        else if (arg == "--help" || arg == "-h")
            options.help = true;
        else if (arg == "--port" && value(1))
            options.port = argv[++i];
        else if (arg == "--text" && value(2))
        {
            options.text = true;
            options.top = argv[++i];
            options.bottom = argv[++i];
        }
        else if (arg == "--program" && value(1))
        {
            if (!parseNumber(argv[++i], 0, 127, options.program))
                return std::string("the program must be 0 to 127, not \"") + argv[i] + "\"";
        }
        else if (arg == "--channel" && value(1))
        {
            if (!parseNumber(argv[++i], 1, 16, options.channel))
                return std::string("the channel must be 1 to 16, not \"") + argv[i] + "\"";
            channelGiven = true;
        }
        else if (arg.rfind("--", 0) == 0)
            return "unknown or incomplete option " + arg;
        else
            options.files.push_back(arg);
    }
    // Asked for help, the rest of the line is not checked: its usage is what was asked.
    if (options.help)
        return std::string();
    if (options.version)
        return argc == 2 ? std::string() : "--version takes no other arguments";
    if (options.list)
        return options.port.empty() && !options.text && options.program < 0 && options.files.empty()
                   ? std::string()
                   : "--list takes no other arguments";
    if (options.port.empty())
        return "--port NAME is required";
    const int actions = (options.text ? 1 : 0) + (options.program >= 0 ? 1 : 0) + (options.files.empty() ? 0 : 1);
    if (actions != 1)
        return "give exactly one of --text, --program or dump files";
    if (channelGiven && options.program < 0)
        return "--channel goes with --program";
    return std::string();
}

// Sends one message, waiting while the port's queue is full. False when the port is gone. (Every
// backend sends a short message handed over this way as a short message.)
bool sendWaiting(TMidiOutputBase& output, const std::vector<std::uint8_t>& message)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;)
    {
        if (output.sendLong(message.data(), static_cast<int>(message.size())))
            return true;
        if (!output.isOpen() || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
} // namespace

int runLumoSend(int argc, char** argv, const std::function<std::unique_ptr<ToolPorts>()>& makePorts)
{
    Options options;
    if (argc < 2)
        return usage("");
    const std::string problem = parse(argc, argv, options);
    if (!problem.empty())
        return usage(problem);
    if (options.help)
    {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (options.version)
    {
        std::printf("lumo-send %s\n", LUMO_VERSION);
        return 0;
    }

    // Everything to send is prepared before connecting, so bad input fails fast.
    std::vector<std::vector<std::uint8_t>> messages;
    if (options.text)
    {
        std::vector<std::uint8_t> message;
        std::string textProblem;
        if (!encodeDisplayMessage(options.top, options.bottom, message, textProblem))
        {
            std::fprintf(stderr, "lumo-send: %s\n", textProblem.c_str());
            return kUsageError;
        }
        messages.push_back(message);
    }
    else if (options.program >= 0)
    {
        messages.push_back({static_cast<std::uint8_t>(0xC0 | (options.channel - 1)),
                            static_cast<std::uint8_t>(options.program)});
    }
    for (const std::string& file : options.files)
    {
        std::vector<std::uint8_t> bytes;
        if (!readFile(file, bytes))
        {
            std::fprintf(stderr, "lumo-send: cannot read %s\n", file.c_str());
            return kFailure;
        }
        MidiStreamSplitter::split(
            bytes.data(), bytes.size(),
            [&](const std::uint8_t* data, int length) { messages.emplace_back(data, data + length); },
            [&](const std::string& issue) { std::fprintf(stderr, "lumo-send: %s: %s\n", file.c_str(), issue.c_str()); });
    }

    const ToolShutdown shutdown;
    const std::unique_ptr<ToolPorts> ports = makePorts();
    if (!ports->connect())
        return kFailure;
    if (options.list)
    {
        for (const std::string& name : ports->names(false))
            std::printf("%s\n", name.c_str());
        return 0;
    }
    std::unique_ptr<TMidiDeviceBase> device = ports->create(options.port, false);
    if (!device)
    {
        std::fprintf(stderr, "lumo-send: no MIDI port named \"%s\" (see lumo-send --list)\n", options.port.c_str());
        return kFailure;
    }
    std::string openProblem;
    try
    {
        device->openDevice();
    }
    catch (const Exception& e)
    {
        openProblem = std::string(": ") + e.what();
    }
    auto& output = static_cast<TMidiOutputBase&>(*device);
    if (!output.isOpen())
    {
        std::fprintf(stderr, "lumo-send: cannot open \"%s\"%s\n", options.port.c_str(), openProblem.c_str());
        return kFailure;
    }
    for (const auto& message : messages)
    {
        if (!sendWaiting(output, message))
        {
            std::fprintf(stderr, "lumo-send: sending to \"%s\" failed\n", options.port.c_str());
            return kFailure;
        }
    }
    if (!ports->waitUntilSent(output))
    {
        std::fprintf(stderr, "lumo-send: \"%s\" did not take all messages\n", options.port.c_str());
        return kFailure;
    }
    device->closeDevice();
    return 0;
}
