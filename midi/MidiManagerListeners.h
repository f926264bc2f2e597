// The interfaces through which the MIDI manager talks to the application: the data listener,
// the device-control listener, the input and output filters, and the initializers that
// backends register before the manager exists.
#pragma once

#include "base/BString.h"

#include <cstdint>

// The one receiver of incoming data (MidiManager::dataListener).
class MidiManagerDataListener
{
public:
    virtual ~MidiManagerDataListener() = default;
    // On the input driver's thread, with no lock held; data is valid during the call only.
    // *handled is 0 on entry; setting it non-zero keeps this message from the thru outputs.
    // Must be fast and must not block (it delays the thru copy and the driver).
    virtual void midiDataReceived(int inputIndex, std::int64_t timestamp, const unsigned char* data, int length,
                                  int* handled) = 0;
};

// Told about every open, close and error. Called on the thread that opened or closed the device
// (GUI thread, or the notifier's timer thread during an update), last registered first.
class MidiManagerDeviceControlListener
{
public:
    virtual ~MidiManagerDeviceControlListener() = default;
    virtual void deviceWillOpen(int index, bool isInput);
    // After a device was opened or closed.
    virtual void deviceStateChanged(int index, bool isInput);
    virtual void deviceWillClose(int index, bool isInput);
    // Not called by the manager.
    virtual void deviceReserved(int index, bool isInput);
    // Status text such as "Opened MIDI IN: <port>".
    virtual void deviceMessage(int index, bool isInput, const BString& text);
    // Error text; index is -1 when the error concerns an invalid index. Also called on a
    // driver's thread, with no lock held, when a device fails while data flows (a failed thru
    // send): post the text on, never block.
    virtual void deviceError(int index, bool isInput, const BString& text);
};

inline void MidiManagerDeviceControlListener::deviceWillOpen(int, bool) {}
inline void MidiManagerDeviceControlListener::deviceStateChanged(int, bool) {}
inline void MidiManagerDeviceControlListener::deviceWillClose(int, bool) {}
inline void MidiManagerDeviceControlListener::deviceReserved(int, bool) {}
inline void MidiManagerDeviceControlListener::deviceMessage(int, bool, const BString&) {}
inline void MidiManagerDeviceControlListener::deviceError(int, bool, const BString&) {}

// Sees every incoming message before the data listener, first registered first, on the driver
// thread. May change the three values (pointing data at its own storage that outlives the
// call); setting *pass to 0 drops the message.
class MidiInDeviceFilter
{
public:
    virtual ~MidiInDeviceFilter() = default;
    virtual void filterInput(int inputIndex, std::int64_t* timestamp, const unsigned char** data, int* length,
                             int* pass) = 0;
};

// Sees every thru copy before it is sent to one output, last registered first, on the driver
// thread. Setting *pass to 0 ends the forwarding of this message to all remaining outputs.
// Changing *data or *length changes the copy for that output only: every output's filters start
// from the message as it arrived.
class MidiOutDeviceFilter
{
public:
    virtual ~MidiOutDeviceFilter() = default;
    virtual void filterOutput(int outputIndex, const unsigned char** data, int* length, int* pass) = 0;
};

// Registered (MidiManager::registerInitializer) before the manager exists, typically from static
// initialisation; owned by the manager's module from then on and deleted when the manager goes.
// Called on the thread that creates, starts or destroys the manager.
class MidiManagerInitializer
{
public:
    virtual ~MidiManagerInitializer() = default;
    virtual void managerCreated() {}
    // Backends add their factory here.
    virtual void managerReady() {}
    virtual void managerStarted() {}
    // Not called.
    virtual void managerReserved() {}
    virtual void managerDestroying() {}
};
