// AlsaCompanion: a second sequencer client with ports of its own, playing the other side of the
// ALSA backend in tests and measurements: a keyboard whose source ports others read from, a
// synthesizer whose destination ports record what arrives, and direct subscriptions between
// ports for comparison. Not part of the program.
//
// Threads: every operation may be called from any thread; arrivals are recorded by the
// companion's own reader thread.
#pragma once

#include "midi/MidiStatus.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class AlsaCompanion
{
public:
    // A client of that name; null when there is no sequencer.
    static std::unique_ptr<AlsaCompanion> open(const std::string& clientName);
    ~AlsaCompanion();

    AlsaCompanion(const AlsaCompanion&) = delete;
    AlsaCompanion& operator=(const AlsaCompanion&) = delete;

    int clientId() const { return id; }
    // "client name:port name", as the backend lists the port.
    std::string fullName(const std::string& portName) const;

    // A port others can subscribe to: a source (they read from it) or a destination. The port's
    // number, -1 on failure.
    int addPort(const std::string& portName, bool source);
    bool removePort(int port);

    // Sends bytes (any length; SysEx in events of at most pieceBytes) from a port to its
    // subscribers.
    bool send(int port, const std::vector<unsigned char>& bytes,
              std::size_t pieceBytes = MidiStatus::kSysExPieceBytes);
    // Subscribes (or unsubscribes) another client's port directly to one of ours.
    bool connect(int fromClient, int fromPort, int toClient, int toPort);
    bool disconnect(int fromClient, int fromPort, int toClient, int toPort);

    // What arrived at a port: one entry per event (a SysEx piece or one short message).
    std::vector<std::vector<unsigned char>> received(int port) const;
    std::vector<unsigned char> receivedBytes(int port) const;
    std::size_t receivedCount(int port) const;
    // Waits until at least count events arrived at port; false after timeoutMs.
    bool waitForCount(int port, std::size_t count, int timeoutMs) const;
    void clearReceived(int port);

    struct Impl;

private:
    AlsaCompanion() = default;
    void readerLoop();
    bool write(void* event);

    std::unique_ptr<Impl> impl;
    int id = -1;
    std::string name;
    std::thread reader;
    int wakeFd = -1;
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::mutex sendMutex;
    std::mutex writeMutex;
    std::map<int, std::vector<std::vector<unsigned char>>> arrivals;
    bool stopping = false;
};
