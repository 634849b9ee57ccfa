#include "repeat/framerecorder.h"

#include "probe/clock.h"

#include <cerrno>
#include <csignal>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace koru::bench {

namespace {

bool writeAll(int fd, const void *data, size_t size)
{
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

bool readAll(int fd, void *data, size_t size)
{
    auto *bytes = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

[[noreturn]] void recordFrames(int masterFd, int control, int results)
{
    std::vector<std::int64_t> stamps;
    stamps.reserve(1 << 16);
    std::uint64_t bytes = 0;
    char chunk[4096];
    pollfd fds[2] = { { masterFd, POLLIN, 0 }, { control, POLLIN, 0 } };
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            ::_exit(1);
        }
        if (fds[0].revents & POLLIN) {
            const std::int64_t now = monotonicNs();
            const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
            if (n > 0) {
                const std::uint64_t before = bytes / 4;
                bytes += std::uint64_t(n);
                for (std::uint64_t frame = before; frame < bytes / 4; ++frame)
                    stamps.push_back(now);
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            fds[0].fd = -1; // the line is gone; keep answering the parent
        }
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char command = 0;
            if (::read(control, &command, 1) != 1)
                ::_exit(0);
            const std::uint64_t count = stamps.size();
            if (!writeAll(results, &count, sizeof count)
                || !writeAll(results, stamps.data(), stamps.size() * sizeof(std::int64_t)))
                ::_exit(1);
            stamps.clear();
        }
    }
}

} // namespace

FrameRecorder::FrameRecorder(int masterFd)
{
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0)
        return;
    if (::pipe(fromChild) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        recordFrames(masterFd, toChild[0], fromChild[1]);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (pid < 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        return;
    }
    m_pid = pid;
    m_control = toChild[1];
    m_results = fromChild[0];
}

FrameRecorder::~FrameRecorder()
{
    if (m_control >= 0)
        ::close(m_control); // EOF: the child ends
    if (m_results >= 0)
        ::close(m_results);
    if (m_pid > 0) {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::vector<std::int64_t> FrameRecorder::collect()
{
    std::vector<std::int64_t> stamps;
    if (m_pid <= 0)
        return stamps;
    const char command = 'c';
    std::uint64_t count = 0;
    if (!writeAll(m_control, &command, 1) || !readAll(m_results, &count, sizeof count))
        return stamps;
    stamps.resize(count);
    if (!readAll(m_results, stamps.data(), count * sizeof(std::int64_t)))
        stamps.clear();
    return stamps;
}

} // namespace koru::bench
