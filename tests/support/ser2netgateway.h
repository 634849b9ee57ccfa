#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace koru::test {

// The real serial device server, ser2net, started on a free loopback port
// with a generated configuration and bridging to one local device (the
// simulator's pseudo-terminal). It never listens on anything but loopback,
// advertises nothing, and goes when the object does.
class Ser2NetGateway
{
public:
    enum class Mode { RawTcp, Rfc2217 };

    Ser2NetGateway() = default;
    ~Ser2NetGateway();
    Ser2NetGateway(const Ser2NetGateway &) = delete;
    Ser2NetGateway &operator=(const Ser2NetGateway &) = delete;

    static bool isInstalled();

    // Starts and waits (bounded) until it listens; on failure `error()` says why.
    // With `twin`, a second port offers the same device in the other mode, as
    // a gateway set up both ways does: only one of the two can hold it.
    bool start(const QString &devicePath, Mode mode, const QString &loopback = QStringLiteral("127.0.0.1"),
               bool twin = false);
    // "tcp://127.0.0.1:PORT", "rfc2217://[::1]:PORT" ...
    QString address() const;
    QString twinAddress() const;
    quint16 port() const { return m_port; }
    const QString &error() const { return m_error; }

    // The gateway dies as a power cut would take it: SIGKILL, no goodbye.
    void kill();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    Mode m_mode = Mode::RawTcp;
    QString m_loopback;
    quint16 m_port = 0;
    quint16 m_twinPort = 0;
    QString m_error;
};

// A loopback port nobody listens on at the moment of asking.
// (`other`: a port already taken for this fixture, not to be handed out twice.)
quint16 freeLoopbackPort(const QString &loopback = QStringLiteral("127.0.0.1"), quint16 other = 0);

// Whether something listens on this loopback port, read from the kernel's
// socket table, so that asking sends no packet and opens no session.
bool loopbackListening(const QString &loopback, quint16 port);

} // namespace koru::test
