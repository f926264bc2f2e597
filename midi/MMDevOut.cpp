#include "midi/MMDevOut.h"

#include "base/TIniFile.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/MidiManager.h"
#include "midi/TMidiDeviceBase.h"

MMDevOut::MMDevOut(MidiManager& manager_, int index_, std::unique_ptr<MidiDeviceDescriptor> descriptor_)
    : MidiManagerDev(manager_, index_, false, std::move(descriptor_))
{
}

void MMDevOut::createDevice()
{
    replaceDevice(nullptr);
    std::unique_ptr<MidiDeviceDescriptor> described = copyDescriptor();
    if (described->factory == nullptr || described->isInput != 0)
        return;
    std::unique_ptr<TMidiDeviceBase> made = described->factory->createDevice(*described);
    if (dynamic_cast<TMidiOutputBase*>(made.get()) == nullptr)
        return;
    installDevice(std::move(made));
}

void MMDevOut::saveState(TIniFile& file, int n) const
{
    MidiManagerDev::saveState(file, n);
}

void MMDevOut::loadState(const TIniFile& file, int n)
{
    MidiManagerDev::loadState(file, n);
}
