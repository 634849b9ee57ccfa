#include "program/terminationsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace koru::program {

namespace {

constexpr int Handled[3] = { SIGINT, SIGTERM, SIGHUP };

volatile sig_atomic_t s_writeFd = -1;

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (s_writeFd >= 0) {
        // Nothing to do if the pipe is full: a signal is already waiting.
        [[maybe_unused]] const ssize_t n = ::write(s_writeFd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent, HangUp hangUp)
    : QObject(parent)
    , m_hangUp(hangUp)
{
}

TerminationSignals::~TerminationSignals()
{
    restore();
}

bool TerminationSignals::install(QString *error)
{
    if (m_installed || s_writeFd >= 0) {
        *error = QStringLiteral("the termination signals are already being watched");
        return false;
    }
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = QStringLiteral("cannot create a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    s_writeFd = m_pipe[1];
    m_notifier = new QSocketNotifier(qintptr(m_pipe[0]), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onPipeReadable);

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Handled[i], &action, &m_previous[i]);
    m_installed = true;
    return true;
}

void TerminationSignals::onPipeReadable()
{
    unsigned char bytes[16];
    const ssize_t n = ::read(m_pipe[0], bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i) {
        if (bytes[i] == SIGHUP && m_hangUp == HangUp::Reloads)
            emit reloadRequested();
        else
            emit received(int(bytes[i]));
    }
}

void TerminationSignals::restore()
{
    if (!m_installed)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Handled[i], &m_previous[i], nullptr);
    s_writeFd = -1;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
    m_pipe[0] = m_pipe[1] = -1;
    m_installed = false;
}

} // namespace koru::program
