#include "midi/MMDevIn.h"

#include "base/TIniFile.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/MidiManager.h"
#include "midi/MMDevOut.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/TMidiRouter.h"

MMDevIn::MMDevIn(MidiManager& manager_, int index_, std::unique_ptr<MidiDeviceDescriptor> descriptor_)
    : MidiManagerDev(manager_, index_, true, std::move(descriptor_))
{
}

MMDevIn::~MMDevIn()
{
    // The manager has drained the data path before deleting records.
    delete targets.exchange(nullptr);
}

void MMDevIn::adoptDevice(std::unique_ptr<TMidiDeviceBase> d)
{
    if (auto* input = dynamic_cast<TMidiInputBase*>(d.get()))
    {
        input->setPassActiveSensing(passActiveSensing.load());
        input->setPassClock(passClock.load());
    }
    MidiManagerDev::adoptDevice(std::move(d));
}

void MMDevIn::createDevice()
{
    replaceDevice(nullptr);
    std::unique_ptr<MidiDeviceDescriptor> described = copyDescriptor();
    if (described->factory == nullptr || described->isInput == 0)
        return;
    std::unique_ptr<TMidiDeviceBase> made = described->factory->createDevice(*described);
    auto* input = dynamic_cast<TMidiInputBase*>(made.get());
    if (input == nullptr)
        return;
    input->setDataListener(&manager);
    input->setPassActiveSensing(passActiveSensing.load());
    input->setPassClock(passClock.load());
    installDevice(std::move(made));
}

void MMDevIn::setPassClock(int pass)
{
    passClock.store(pass);
    if (auto* input = dynamic_cast<TMidiInputBase*>(getDeviceObject()))
        input->setPassClock(pass);
}

void MMDevIn::setPassActiveSensing(int pass)
{
    passActiveSensing.store(pass);
    if (auto* input = dynamic_cast<TMidiInputBase*>(getDeviceObject()))
        input->setPassActiveSensing(pass);
}

bool MMDevIn::hasState() const
{
    return MidiManagerDev::hasState() || passActiveSensing.load() != 0 || passClock.load() != 1;
}

void MMDevIn::assign(const MidiManagerDev& other)
{
    if (const auto* input = dynamic_cast<const MMDevIn*>(&other))
        assignAll(*input);
    else
        MidiManagerDev::assign(other);
}

void MMDevIn::assignAll(const MMDevIn& other)
{
    MidiManagerDev::assign(other);
    thru.Clear();
    thru.addAll(other.thru);
    setPassClock(other.passClock.load());
    setPassActiveSensing(other.passActiveSensing.load());
    const MidiThruTargets* source = other.targets.load(std::memory_order_acquire);
    publishTargets(source != nullptr ? std::unique_ptr<MidiThruTargets>(new MidiThruTargets(*source)) : nullptr);
}

void MMDevIn::reloadThru()
{
    if (present.load() == 0)
        return;
    TMidiRouter* router = TMidiRouter::peekInstance();
    if (router == nullptr)
        thru.Clear();
    else
        router->collectThru(thru, index);

    // Resolve now, on the control thread: the driver thread only ever sees output records.
    std::unique_ptr<MidiThruTargets> next(new MidiThruTargets);
    for (TMidiAlias* alias : thru)
    {
        if (alias == nullptr || alias->direction.load() != TMidiAlias::kOutput)
            continue;
        MMDevOut* output = manager.getOutput(alias->deviceIndex.load());
        if (output == nullptr)
            continue;
        bool known = false;
        for (MMDevOut* existing : next->outputs)
            known = known || existing == output;
        if (!known)
            next->outputs.push_back(output);
    }
    publishTargets(std::move(next));
}

void MMDevIn::publishTargets(std::unique_ptr<MidiThruTargets> next)
{
    std::unique_ptr<const MidiThruTargets> old(targets.exchange(next.release(), std::memory_order_acq_rel));
    manager.dataPathGuard().retire(std::move(old));
}

void MMDevIn::saveState(TIniFile& file, int n) const
{
    TStringList& section = file.GetSection(sectionName());
    section.SetValue(BString::Format("Name%d", n), displayName());
    section.SetValue(BString::Format("Options%d", n), BString(optionMark(passActiveSensing.load() != 0)) +
                                                          optionMark(passClock.load() != 0) + optionsTail());
}

void MMDevIn::loadState(const TIniFile& file, int n)
{
    MidiManagerDev::loadState(file, n);
    const BString options = file.ReadString(sectionName(), BString::Format("Options%d", n), BString());
    if (options.Length() >= 2)
    {
        setPassActiveSensing(optionMarkAt(options, 0) ? 1 : 0);
        setPassClock(optionMarkAt(options, 1) ? 1 : 0);
    }
}

