#include "support/JackServerProcess.h"

#include "midi/jack/JackCompanion.h"
#include "support/WaitFor.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// A name used once: a killed server leaves its semaphores behind, and a later server of the same
// name (a recycled process id) would open them with their stale counts.
std::string uniqueServerName()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    return "lumo-test-" + std::to_string(getpid()) + "-" + std::to_string(micros % 1000000000);
}
} // namespace

JackServerProcess::JackServerProcess(int periodFrames)
    : serverName(uniqueServerName()), period(std::to_string(periodFrames))
{
    setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
}

JackServerProcess::~JackServerProcess()
{
    stop();
}

bool JackServerProcess::start()
{
    if (pid > 0)
        return true;
    const pid_t parent = getpid();
    pid = fork();
    if (pid == 0)
    {
        // A test process that crashes or is killed takes its server with it: an orphaned server
        // would hold the machine's JACK state (and one of its few server slots) for ever.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        execlp("jackd", "jackd", "--no-realtime", "--sync", "-t", "5000", "-n", serverName.c_str(), "-d", "dummy", "-r", "48000", "-p", period.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0)
        return false;
    return lumo_test::waitFor([] { return JackCompanion::open("probe") != nullptr; }, 20000);
}

void JackServerProcess::stop()
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    const bool ended = lumo_test::waitFor([this] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 10000);
    if (!ended)
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}
