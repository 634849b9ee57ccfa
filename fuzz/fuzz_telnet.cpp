// The receive path of a Telnet session with COM port control: whatever a
// gateway (or anything pretending to be one) sends, the session neither
// crashes nor grows without bound; the payload it hands on is never longer
// than what came in, and is exactly what came in when no byte 255 did; what
// it sends back stays in proportion; and payload sent through it comes out
// of a second session unchanged.
#include "fuzzcheck.h"
#include "fuzzinput.h"

#include "serial/telnetcomport.h"

#include <QByteArray>

using koru::TelnetComPort;

namespace {

void roundTrip(QByteArrayView payload)
{
    QByteArray wire;
    TelnetComPort sender([&wire](QByteArrayView bytes) { wire.append(bytes.data(), bytes.size()); });
    sender.send(payload);
    FUZZ_CHECK(wire.size() == payload.size() + payload.count('\xff')); // 255 doubled, nothing else added
    TelnetComPort receiver([](QByteArrayView) {});
    receiver.receive(wire);
    FUZZ_CHECK(receiver.takeData(wire.size() + 1) == payload.toByteArray());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    const uint8_t chunk = uint8_t(in.byte() % 16 + 1);
    const QByteArray rest(reinterpret_cast<const char *>(data) + (size - in.remaining()), qsizetype(in.remaining()));

    qsizetype sent = 0;
    TelnetComPort session([&sent](QByteArrayView bytes) { sent += bytes.size(); });
    if (mode & 1)
        session.start();
    if (mode & 2) {
        koru::LineSettings settings;
        settings.baudRate = (mode & 4) ? 9600 : 19200;
        session.requestSettings(settings);
    }
    const qsizetype sentAtStart = sent;

    // In the pieces a socket might deliver, reading the payload out between
    // them now and then, as the transport does.
    qsizetype payload = 0;
    for (qsizetype at = 0; at < rest.size(); at += chunk) {
        session.receive(QByteArrayView(rest).sliced(at, qMin<qsizetype>(chunk, rest.size() - at)));
        if (mode & 8)
            payload += session.takeData(1024).size();
    }
    payload += session.dataSize();
    FUZZ_CHECK(payload <= rest.size());
    if (!rest.contains('\xff')) {
        FUZZ_CHECK(payload == rest.size());
        FUZZ_CHECK(sent == sentAtStart); // nothing to answer
    }
    // Each request can draw at most one short answer, and the settings go out
    // at most once more (when COM port control is agreed).
    FUZZ_CHECK(sent - sentAtStart <= rest.size() + 64);
    if (session.isReady())
        FUZZ_CHECK(session.failure().isEmpty() && !session.awaitingAnswers());

    roundTrip(rest);
    return 0;
}
