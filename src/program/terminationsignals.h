#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace koru::program {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop, so the
// program can tidy up (let go of its port, remove its link) and leave with
// status 0. The signal handler only writes the signal number into a pipe; a
// socket notifier reads it on the event thread. One instance at a time.
//
// A daemon has no terminal to hang up: for it SIGHUP is the service
// manager's call to read its configuration again, reloadRequested(), on the
// same event thread.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    enum class HangUp { Ends, Reloads };

    explicit TerminationSignals(QObject *parent = nullptr, HangUp hangUp = HangUp::Ends);
    ~TerminationSignals() override;

    bool install(QString *error);

signals:
    // A signal that ends the program.
    void received(int signalNumber);
    // SIGHUP, when it reloads.
    void reloadRequested();

private:
    void onPipeReadable();
    void restore();

    HangUp m_hangUp;
    int m_pipe[2] = { -1, -1 };
    QSocketNotifier *m_notifier = nullptr;
    bool m_installed = false;
    struct sigaction m_previous[3] {};
};

} // namespace koru::program
