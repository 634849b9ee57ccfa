#pragma once

#include <cstdint>
#include <vector>

#include <sys/types.h>

namespace koru::bench {

// Stamps the arrival of every four-byte frame at the far end of the line. It
// does so from a child process of its own that sleeps in poll() on the master
// side and stamps each arrival the moment it wakes: the stamps carry none of
// the panel's event-loop latency, which a reader inside the panel's process
// would add to every one.
//
// Create it before the QApplication: the child is forked from a process that
// is still single-threaded, so it may allocate freely.
class FrameRecorder
{
public:
    explicit FrameRecorder(int masterFd);
    ~FrameRecorder();
    FrameRecorder(const FrameRecorder &) = delete;
    FrameRecorder &operator=(const FrameRecorder &) = delete;

    bool isRunning() const { return m_pid > 0; }

    // Arrival stamps (monotonic ns) of the frames completed since the
    // previous call.
    std::vector<std::int64_t> collect();

private:
    pid_t m_pid = -1;
    int m_control = -1; // to the child: 'c' collect, EOF ends it
    int m_results = -1; // from the child: a count, then the stamps
};

} // namespace koru::bench
