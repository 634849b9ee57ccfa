// The simulator's frame reader against a plain model of the line: any bytes
// at any (non-decreasing) times give exactly the frames the model gives, one
// per CR, each at most a code's length, with the overlong ones marked.
#include "fuzzcheck.h"
#include "fuzzinput.h"

#include "sim/framereader.h"

#include <QByteArray>
#include <QList>

#include <chrono>

using koru::sim::Frame;
using koru::sim::FrameReader;
using std::chrono::milliseconds;

namespace {

// Keeps the whole partial frame, however long, and cuts it only when it
// reports a frame; the reader must behave the same while holding at most
// three bytes.
struct LineModel
{
    milliseconds timeout { 0 };
    QByteArray partial;
    bool started = false;
    milliseconds last { 0 };

    QList<Frame> feed(const QByteArray &bytes, milliseconds now)
    {
        QList<Frame> frames;
        if (bytes.isEmpty())
            return frames;
        if (started && now - last > timeout) { // a broken-off frame is forgotten
            partial.clear();
            started = false;
        }
        last = now;
        for (const char c : bytes) {
            if (c == '\r') {
                frames.append(Frame { partial.left(FrameReader::CodeLength),
                                      partial.size() > FrameReader::CodeLength });
                partial.clear();
                started = false;
            } else {
                partial.append(c);
                started = true;
            }
        }
        return frames;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const milliseconds timeout { in.byte() * 4 };
    FrameReader reader(timeout);
    LineModel model;
    model.timeout = timeout;

    milliseconds now { 0 };
    while (!in.atEnd()) {
        const uint8_t head = in.byte();
        // Mostly short gaps, sometimes long ones, now and then a big burst.
        now += milliseconds(head & 0x80 ? in.byte() * 16 : in.byte());
        qsizetype length = head & 0x3f;
        QByteArray bytes;
        if (head & 0x40) {
            // A long run without CR, then the rest: the buffer must stay bounded.
            bytes = QByteArray(1 + length * 128, char(in.byte()));
            length = 0;
        }
        for (qsizetype i = 0; i < length && !in.atEnd(); ++i)
            bytes.append(char(in.byte()));

        const QList<Frame> got = reader.feed(bytes, now);
        const QList<Frame> want = model.feed(bytes, now);
        FUZZ_CHECK(got.size() == bytes.count('\r'));
        FUZZ_CHECK(got.size() == want.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            FUZZ_CHECK(got[i].body.size() <= FrameReader::CodeLength);
            FUZZ_CHECK(!got[i].body.contains('\r'));
            FUZZ_CHECK(got[i].body == want[i].body);
            FUZZ_CHECK(got[i].overlong == want[i].overlong);
            FUZZ_CHECK(!got[i].isCommand() || got[i].body.size() == FrameReader::CodeLength);
        }
        FUZZ_CHECK(reader.hasPartial() == model.started);
    }
    return 0;
}
