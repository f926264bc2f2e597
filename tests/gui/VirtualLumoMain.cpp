// The program over the virtual MIDI backend, for the windowed tests of its MIDI side (never
// shipped). Its ports come from the environment:
//   LUMO_VIRTUAL_PORTS  "in:Name|out:Name|..."   ports present from the start
//   LUMO_VIRTUAL_FAIL   "Name|..."                ports whose open throws (the driver's refusal)
//   LUMO_VIRTUAL_LOG    file                      the manager's status and error texts, one a line
#include "app/AppApplication.h"
#include "midi/MidiManager.h"
#include "support/VirtualMidiBackend.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> split(const char* text)
{
    std::vector<std::string> parts;
    if (text == nullptr)
        return parts;
    std::string current;
    for (const char* c = text;; ++c)
    {
        if (*c == '|' || *c == 0)
        {
            if (! current.empty())
                parts.push_back(current);
            current.clear();
            if (*c == 0)
                break;
        }
        else
        {
            current += *c;
        }
    }
    return parts;
}

class TextLog : public MidiManagerDeviceControlListener
{
public:
    void deviceMessage(int, bool, const BString& text) override { write(text.CStr()); }
    void deviceError(int, bool, const BString& text) override { write("error: " + std::string(text.CStr())); }

private:
    void write(const std::string& line)
    {
        const char* path = std::getenv("LUMO_VIRTUAL_LOG");
        if (path == nullptr)
            return;
        const std::lock_guard<std::mutex> guard(mutex);
        if (FILE* file = std::fopen(path, "a"))
        {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }

    std::mutex mutex;
};

TextLog textLog;

class VirtualBackend : public MidiManagerInitializer
{
public:
    void managerReady() override
    {
        MidiManager* manager = MidiManager::peekInstance();
        auto* factory = new VirtualMidiFactory();   // factories belong to the AutoDelete registry
        factory->setRescanOnChange(true);
        const std::vector<std::string> failing = split(std::getenv("LUMO_VIRTUAL_FAIL"));
        for (const std::string& port : split(std::getenv("LUMO_VIRTUAL_PORTS")))
        {
            const bool isInput = port.rfind("in:", 0) == 0;
            const std::string name = port.substr(port.find(':') + 1);
            const int id = factory->addPort(isInput, BString(name.c_str()));
            for (const std::string& fail : failing)
                if (fail == name)
                    factory->setOpenBehaviour(id, VirtualMidiFactory::OpenBehaviour::Throw);
        }
        manager->addFactory(factory);
        manager->addDeviceControlListener(&textLog);
    }
};

const int backendRegistered = MidiManager::registerInitializer(new VirtualBackend);
} // namespace

START_JUCE_APPLICATION(AppApplication)
