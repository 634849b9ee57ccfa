#pragma once

#include "serial/sockettransport.h"
#include "serial/telnetcomport.h"

#include <memory>

class QTimer;

namespace koru {

// Telnet with the COM port control of RFC 2217: the settings go to the
// gateway, which sets its serial line to them.
class Rfc2217Transport final : public SocketTransport
{
    Q_OBJECT

public:
    Rfc2217Transport(const PortAddress &address, QObject *parent);
    ~Rfc2217Transport() override;

    // Connects, then agrees COM port control and the settings with the
    // gateway, all within kConnectTimeout.
    void open(const LineSettings &settings) override;
    void close() override;
    CommResult write(const QByteArray &bytes) override;
    QByteArray read() override;
    qint64 bytesAvailable() const override;
    // Sends the settings at once; the gateway's answers arrive later, and a
    // refusal, or no answer within the connect time, closes the line through
    // lost() with the reason.
    CommResult applySettings(const LineSettings &settings) override;

protected:
    void connectionMade() override;
    QString unfinishedOpenFailure() override;

private:
    // Takes the gateway's answers while the open is in progress, and ends it
    // once they settle it.
    void negotiate();
    // Moves bytes from the socket through the Telnet parser while the
    // payload buffer has room.
    void pump();
    void onSocketData();
    void checkAnswers();
    QString negotiationFailure() const;

    std::unique_ptr<TelnetComPort> m_session;
    QTimer *m_answerTimer;
    LineSettings m_requested;
};

} // namespace koru
