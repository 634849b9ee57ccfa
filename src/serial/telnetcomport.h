#pragma once

#include "serial/commsettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

struct telnet_t;
union telnet_event_t;

namespace koru {

// The client side of a Telnet session with the COM port control of RFC 2217,
// without the socket: bytes from the network go in through receive(), the
// payload comes out through takeData(), and everything for the network leaves
// through the sink given at construction. libtelnet does the negotiation,
// the escaping of byte 255 and the framing of subnegotiations; this class
// only knows what the COM port commands mean.
//
// Everything from the network is untrusted: payload never grows by more than
// the bytes fed in, subnegotiations are bounded by libtelnet, and every
// option other than BINARY and COM-PORT-OPTION is refused.
class TelnetComPort
{
public:
    using Sink = std::function<void(QByteArrayView)>;

    explicit TelnetComPort(Sink toNetwork);
    ~TelnetComPort();
    TelnetComPort(const TelnetComPort &) = delete;
    TelnetComPort &operator=(const TelnetComPort &) = delete;

    // Asks for BINARY in both directions (so that CR crosses as one byte) and
    // offers COM port control.
    void start();
    // Sends the speed, data size, parity, stop size and no flow control, as
    // soon as the server has agreed to COM port control, and expects the
    // server to confirm each.
    void requestSettings(const LineSettings &settings);

    void receive(QByteArrayView bytes);
    qsizetype dataSize() const { return m_data.size(); }
    // What the gateway sent as data so far, without taking it.
    const QByteArray &data() const { return m_data; }
    QByteArray takeData(qsizetype max);
    // Payload for the far end; byte 255 is doubled on the wire.
    void send(QByteArrayView payload);

    // BINARY agreed both ways, COM port control agreed and every setting
    // confirmed.
    bool isReady() const;
    bool awaitingAnswers() const { return m_inFlight || !m_queue.empty() || m_settingsUnsent; }
    bool comPortAgreed() const { return m_comPort; }
    // Set once the server refused something; the session is then useless.
    const QString &failure() const { return m_failure; }
    bool comPortRefused() const { return m_comPortRefused; }

    static QString describe(const LineSettings &settings);

private:
    static void onEvent(telnet_t *telnet, telnet_event_t *event, void *self);
    void handle(const telnet_event_t &event);
    void onAnswer(QByteArrayView sub);
    void sendSettings();
    void sendNext();
    void fail(const QString &reason);

    Sink m_sink;
    telnet_t *m_telnet = nullptr;
    QByteArray m_data;
    LineSettings m_wanted;
    bool m_settingsUnsent = false;
    // One setting at a time: the next goes out when the gateway has answered
    // the last, because ser2net applies back-to-back changes concurrently and
    // can leave the line at a speed nobody asked for.
    using Setting = std::pair<unsigned char, QByteArray>; // command, value asked for
    std::deque<Setting> m_queue;
    std::optional<Setting> m_inFlight;
    bool m_usBinary = false;
    bool m_himBinary = false;
    bool m_comPort = false;
    bool m_comPortRefused = false;
    QString m_failure;
};

} // namespace koru
