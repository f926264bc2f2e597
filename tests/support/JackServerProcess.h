// JackServerProcess: a private JACK server (dummy driver, no audio hardware) for one test, named
// after the process and the moment so that it is never the user's. The constructor points
// libjack's usual rule (JACK_DEFAULT_SERVER) at it; start() waits until a client can connect.
#pragma once

#include <string>
#include <sys/types.h>

class JackServerProcess
{
public:
    // periodFrames: frames per cycle at 48 kHz (256: 5.3 ms; a short one makes many cycles).
    explicit JackServerProcess(int periodFrames = 256);
    ~JackServerProcess();

    JackServerProcess(const JackServerProcess&) = delete;
    JackServerProcess& operator=(const JackServerProcess&) = delete;

    // Starts the server and waits (up to 20 s) until it accepts clients. True when ready.
    bool start();
    // Ends the server and waits for it. Idempotent.
    void stop();
    bool isRunning() const { return pid > 0; }
    const std::string& name() const { return serverName; }

private:
    std::string serverName;
    std::string period;
    pid_t pid = -1;
};
