#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace koru::bench {

// Run time of every thread of process `pid`, in milliseconds, from the
// scheduler's own count (schedstat, nanoseconds; /proc/PID/stat counts
// ticks); -1 when the process is not there.
double processCpuMs(pid_t pid);

// A program started by fork and exec, its standard output on a pipe to us,
// its standard error shared with ours.
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess(); // kills and reaps a child still running
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts `argv[0]` with the arguments. The monotonic stamp taken just
    // before fork() is kept as startedNs().
    bool start(const std::vector<std::string> &argv);

    pid_t pid() const { return m_pid; }
    std::int64_t startedNs() const { return m_startedNs; }

    // One line of its output without the newline; nothing on EOF or timeout.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Everything it still writes, up to its exit (or the timeout).
    std::string readRest(std::chrono::milliseconds timeout);

    // Sends `signal` (if still running) and waits; returns the exit status,
    // or 128 + signal number when it died by a signal.
    int stop(int signal);
    // Waits for the exit without sending anything.
    int wait();

private:
    bool fill(std::chrono::milliseconds timeout);

    pid_t m_pid = -1;
    int m_stdout = -1;
    std::int64_t m_startedNs = 0;
    std::string m_buffer;
    bool m_eof = false;
};

// Starts the simulated projector (`argv[0]` its path) and reads the device it
// names on its first line; nothing, with a note on standard error, when it
// does not start or names none.
std::optional<std::string> startSimulator(ChildProcess &sim, const std::vector<std::string> &argv);

// "key=value" lines, as the bench-side programs print their figures.
std::map<std::string, std::string> parseKeyValues(const std::string &text);

// The number under `key`, if present.
std::optional<double> numberOf(const std::map<std::string, std::string> &values, const std::string &key);

} // namespace koru::bench
