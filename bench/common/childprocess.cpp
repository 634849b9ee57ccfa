#include "common/childprocess.h"

#include <dirent.h>
#include <fstream>
#include <string>

#include "common/resultrow.h"
#include "probe/clock.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace koru::bench {

double processCpuMs(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = ::opendir(tasks.c_str());
    if (!dir)
        return -1;
    double ns = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
        double running = 0;
        if (schedstat >> running)
            ns += running;
    }
    ::closedir(dir);
    return ns / 1e6;
}

std::optional<std::string> startSimulator(ChildProcess &sim, const std::vector<std::string> &argv)
{
    if (!sim.start(argv)) {
        note("cannot start %s", argv.front().c_str());
        return std::nullopt;
    }
    std::optional<std::string> device = sim.readLine(std::chrono::seconds(10));
    if (!device || device->empty()) {
        note("the simulated projector named no device");
        return std::nullopt;
    }
    return device;
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0)
        stop(SIGKILL);
    if (m_stdout >= 0)
        ::close(m_stdout);
}

bool ChildProcess::start(const std::vector<std::string> &argv)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    m_startedNs = monotonicNs();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_pid = pid;
    m_stdout = pipeFds[0];
    return true;
}

bool ChildProcess::fill(std::chrono::milliseconds timeout)
{
    if (m_eof || m_stdout < 0)
        return false;
    pollfd pfd { m_stdout, POLLIN, 0 };
    const int ready = ::poll(&pfd, 1, int(timeout.count()));
    if (ready <= 0)
        return false;
    char chunk[4096];
    const ssize_t n = ::read(m_stdout, chunk, sizeof chunk);
    if (n <= 0) {
        if (n < 0 && errno == EINTR)
            return true;
        m_eof = true;
        return false;
    }
    m_buffer.append(chunk, size_t(n));
    return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || (!fill(left) && (m_eof || Clock::now() >= deadline)))
            return std::nullopt;
    }
}

std::string ChildProcess::readRest(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!m_eof) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        fill(left);
    }
    std::string rest;
    rest.swap(m_buffer);
    return rest;
}

int ChildProcess::stop(int signal)
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, signal);
    return wait();
}

int ChildProcess::wait()
{
    if (m_pid <= 0)
        return -1;
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::map<std::string, std::string> parseKeyValues(const std::string &text)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

std::optional<double> numberOf(const std::map<std::string, std::string> &values, const std::string &key)
{
    const auto found = values.find(key);
    if (found == values.end())
        return std::nullopt;
    char *end = nullptr;
    const double value = std::strtod(found->second.c_str(), &end);
    if (end == found->second.c_str())
        return std::nullopt;
    return value;
}

} // namespace koru::bench
