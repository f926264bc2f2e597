#include "dialogs/ComboBoxMidi.h"

#include "dialogs/JuceText.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiManager.h"
#include "midi/MidiManagerDev.h"
#include "midi/TMidiAliasManager.h"

#include <algorithm>
#include <vector>

namespace
{
const char* const kNoneText = "(none)";
const char* const kNoAssignmentText = "(no assignment)";
const char* const kDontAskText = "(none - don't ask again)";
const char* const kNoPortsText = "(no ports available)";
const char* const kPendingSuffix = " (pending)";
} // namespace

ComboBoxMidi::ComboBoxMidi(bool isInput_)
    : juce::ComboBox(juce::String()), isInput(isInput_)
{
    juce::ComboBox::addListener(this);
    setEditableText(false);
    setJustificationType(juce::Justification::centredLeft);
    setTextWhenNothingSelected(kNoneText);
    setTextWhenNoChoicesAvailable(kNoPortsText);
    MidiManager::getInstance()->addDeviceListListener(this);
}

ComboBoxMidi::~ComboBoxMidi()
{
    juce::ComboBox::removeListener(this);
    // Returns once no notification is under way; the waiting hand-over is cancelled after this.
    if (MidiManager* manager = MidiManager::peekInstance())
        manager->removeDeviceListListener(this);
}

void ComboBoxMidi::setShowPending(bool on)
{
    if (showPending == on)
        return;
    showPending = on;
    if (getNumItems() > 0 && ! needsRebuild.exchange(true))
        requestUpdate();
}

void ComboBoxMidi::setDontAskMode(bool on)
{
    if (dontAskMode == on)
        return;
    dontAskMode = on;
    if (getNumItems() > 0 && ! needsRebuild.exchange(true))
        requestUpdate();
}

void ComboBoxMidi::requestSelectFromAlias()
{
    if (! needsSelect.exchange(true))
        requestUpdate();
}

void ComboBoxMidi::requestUpdate()
{
    if (juce::MessageManager::existsAndIsCurrentThread()
        || juce::MessageManager::existsAndIsLockedByCurrentThread())
        run(0, 0);
    else
        posted.post();
}

void ComboBoxMidi::run(int, int)
{
    if (getNumItems() == 0)
        needsRebuild = true;
    if (needsRebuild.exchange(false))
        rebuildItems();
    if (needsSelect.exchange(false))
        selectFromAlias();
}

void ComboBoxMidi::deviceListChanged()
{
    if (! needsRebuild.exchange(true))
        requestUpdate();
}

void ComboBoxMidi::comboBoxChanged(juce::ComboBox*)
{
    notifyIfChanged();
}

bool ComboBoxMidi::aliasMatchesDirection() const
{
    return alias != nullptr && (alias->direction.load() == TMidiAlias::kInput) == isInput;
}

juce::String ComboBoxMidi::itemTextOf(MidiManagerDev& record)
{
    const BString& extra = record.extraText;
    juce::String text = JuceText::toJuce(extra.IsEmpty() ? record.displayName() : extra);
    // A backend's note on the port (e.g. that it is one of the program's own) follows the name,
    // which stays what aliases and the settings store.
    const BString note = extra.IsEmpty() ? record.copyDescriptor()->displayNote() : BString();
    if (!note.IsEmpty())
        text << " " << juce::String::charToString(0x2014) << " " << JuceText::toJuce(note);
    if (record.pending.load() != 0)
        text << kPendingSuffix;
    return text;
}

void ComboBoxMidi::rebuildItems()
{
    ++rebuildCount;
    int selected = getSelectedId();
    clear(juce::dontSendNotification);

    if (dontAskMode)
    {
        addItem(kNoAssignmentText, kNoneId);
        addItem(kDontAskText, kDontAskId);
        setTextWhenNothingSelected(kNoAssignmentText);
    }
    else
    {
        addItem(kNoneText, kNoneId);
        if (selected == kDontAskId)
            selected = kNoneId;
        setTextWhenNothingSelected(kNoneText);
    }

    // Never brings a destroyed manager back: a box outliving it just lists nothing.
    struct Listed
    {
        MidiManagerDev* record;
        juce::String text;
    };
    std::vector<Listed> listed;
    bool selectedIsListed = false;
    if (MidiManager* manager = MidiManager::peekInstance())
    {
        manager->ensureScanned();
        const int count = isInput ? manager->getInputCount() : manager->getOutputCount();
        const BString aliasDevice = aliasMatchesDirection() ? alias->deviceName() : BString();
        for (int j = 0; j < count; ++j)
        {
            MidiManagerDev* record = isInput ? static_cast<MidiManagerDev*>(manager->getInput(j))
                                             : manager->getOutput(j);
            if (record == nullptr || record->displayName().IsEmpty())
                continue;
            if (record->present.load() == 0 && ! (record->pending.load() != 0 && showPending))
                continue;
            if (selected == 0 && aliasMatchesDirection())
            {
                const std::unique_ptr<MidiDeviceDescriptor> descriptor = record->copyDescriptor();
                if (descriptor != nullptr && descriptor->name.Equals(aliasDevice, true))
                    selected = j + 1;
            }
            listed.push_back({ record, itemTextOf(*record) });
            if (j + 1 == selected)
                selectedIsListed = true;
        }
    }

    std::stable_sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        return a.text.compareIgnoreCase(b.text) < 0;
    });
    for (const Listed& item : listed)
        addItem(item.text, item.record->index + 1);

    setSelectedId(selectedIsListed || selected < 0 ? selected : kNoneId, juce::sendNotificationAsync);
    notifyIfChanged();
}

void ComboBoxMidi::selectFromAlias()
{
    if (alias != nullptr)
    {
        int index = -1;
        if (MidiManager* manager = MidiManager::peekInstance())
        {
            index = manager->findDeviceByName(alias->deviceName(), isInput);
            MidiManagerDev* record = manager->getDevice(index, isInput);
            if (record == nullptr || (onlyOpenDevices && ! record->isDeviceOpen()))
                index = -1;
        }
        if (index >= 0)
            setSelectedId(index + 1, juce::sendNotificationAsync);
        else if (dontAskMode && alias->hasFlag(TMidiAlias::kNonePersistent))
            setSelectedId(kDontAskId, juce::sendNotificationAsync);
        else
            setSelectedId(kNoneId, juce::sendNotificationAsync);
    }
    notifyIfChanged();
}

bool ComboBoxMidi::applyToAlias()
{
    if (alias == nullptr)
        return false;
    const int selected = getSelectedId();
    const int k = selected >= 0 ? selected - 1 : selected;

    BString device;
    if (k >= 0)
        if (MidiManager* manager = MidiManager::peekInstance())
            if (MidiManagerDev* record = manager->getDevice(k, isInput))
                device = record->displayName();

    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    const TMidiAliasManager::BatchScope batch(*aliases);
    const BString name = alias->name();
    const bool changed = aliases->setAlias(name, alias->direction.load(), name, device, false);
    if (device.IsEmpty())
        alias->setFlag(TMidiAlias::kNonePersistent, k == kDontAskId);
    return changed;
}

void ComboBoxMidi::addListener(Listener* listener)
{
    if (listener != nullptr && ! listeners.Contains(listener))
        listeners.Add(listener);
}

void ComboBoxMidi::removeListener(Listener* listener)
{
    const int position = listeners.IndexOf(listener);
    if (position >= 0)
        listeners.Delete(position);
}

void ComboBoxMidi::notifyIfChanged()
{
    const int id = getSelectedId();
    if (id == lastNotifiedId)
        return;
    lastNotifiedId = id;
    for (Listener* listener : listeners)
        listener->comboBoxMidiChanged(this);
}
