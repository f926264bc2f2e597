#include "midi/winmm/MidiDeviceDescriptorWin.h"

#include "midi/winmm/MidiWinFactory.h"
#include "midi/winmm/UsbRegistryLookup.h"
#include "midi/winmm/WinMMSystem.h"

MidiDeviceDescriptorWin::MidiDeviceDescriptorWin(bool isInput_, int index_)
{
    factory = MidiWinFactory::getInstance();
    isInput = isInput_ ? 1 : 0;
    index = index_;
    refresh();
}

std::unique_ptr<MidiDeviceDescriptor> MidiDeviceDescriptorWin::clone() const
{
    auto copy = std::make_unique<MidiDeviceDescriptorWin>(*this);
    copy->capsFailed = false;
    return copy;
}

int MidiDeviceDescriptorWin::winmmId() const
{
    if (isInput)
        return index;
    const auto* winFactory = dynamic_cast<const MidiWinFactory*>(factory);
    return winFactory != nullptr && winFactory->includesMapper ? index - 1 : index;
}

void MidiDeviceDescriptorWin::refresh()
{
    WinMMSystem& system = WinMMSystem::get();
    const int id = winmmId();

    BString path;
    bool known = id >= 0 && (isInput ? system.inInterfacePath(id, path) : system.outInterfacePath(id, path));
    if (!known || path.Length() <= 2)
        path.Clear();
    const bool pathChanged = !path.Equals(interfaceName);
    interfaceName = path;
    if (!pathChanged && !interfaceName.IsEmpty())
        return;

    BString product;
    const unsigned result = isInput ? system.inCaps(id, product) : system.outCaps(id, product);
    if (result != WinMM::kNoError)
        capsFailed = true;
    if (capsFailed)
        product = "unknown";
    const bool productChanged = !product.Equals(productName);
    productName = product;
    if (!productChanged && interfaceName.IsEmpty())
        return;

    name = productName;
    if (UsbRegistryLookup::find(interfaceName, usbName, parentInstanceId) && !system.isVistaOrLater())
        name = usbName;
}
