// The PJLink request reader: any line a controller sends (CR already taken
// off) against a plain reading of the standard's request format, with and
// without the 32-character digest in front, and of what a line that is no
// request still says of the one it meant; and the digest comparison against
// a plain one.
#include "fuzzcheck.h"
#include "fuzzinput.h"

#include "bridge/pjlink/pjlinkprotocol.h"

#include <QByteArray>

#include <cctype>
#include <string>

namespace pjlink = koru::bridge::pjlink;

namespace {

// "%" CLASS BODY(4) " " PARAMETER(1..128): what a request line is, spelled
// out on a std::string.
struct PlainRequest
{
    bool valid = false;
    char pjlinkClass = 0;
    std::string body;
    std::string parameter;
};

PlainRequest plainRead(const std::string &line)
{
    PlainRequest plain;
    if (line.size() < 8 || line[0] != '%' || line[1] < '1' || line[1] > '9' || line[6] != ' ')
        return plain;
    const std::string parameter = line.substr(7);
    if (parameter.empty() || parameter.size() > 128)
        return plain;
    plain.valid = true;
    plain.pjlinkClass = line[1];
    plain.body = line.substr(2, 4);
    plain.parameter = parameter;
    return plain;
}

// What a line that is no request still says of itself: "%" CLASS and a
// body of four letters or digits, or such a body alone at the start (class 1
// then); what follows the body is kept as it came.
struct PlainMalformed
{
    bool valid = false;
    bool headerMissing = false;
    char pjlinkClass = 0;
    std::string body;
    std::string rest;
};

PlainMalformed plainMalformed(const std::string &line)
{
    PlainMalformed plain;
    const bool header = line.size() >= 2 && line[0] == '%' && line[1] >= '1' && line[1] <= '9';
    const size_t at = header ? 2 : 0;
    if (line.size() < at + 4)
        return plain;
    for (size_t i = at; i < at + 4; ++i) {
        if (!std::isalnum(static_cast<unsigned char>(line[i])))
            return plain;
    }
    plain.valid = true;
    plain.headerMissing = !header;
    plain.pjlinkClass = header ? line[1] : '1';
    plain.body = line.substr(at, 4);
    plain.rest = line.substr(at + 4);
    return plain;
}

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// Hex digits of the client's compare in either case; nothing else is folded.
bool plainDigestMatch(const std::string &given, const std::string &expected)
{
    if (given.size() != expected.size())
        return false;
    for (size_t i = 0; i < given.size(); ++i) {
        char c = given[i];
        if (c >= 'A' && c <= 'F')
            c = char(c - 'A' + 'a');
        if (c != expected[i])
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const bool expectDigest = in.byte() & 1;
    std::string line;
    while (!in.atEnd())
        line += char(in.byte());
    const QByteArray bytes(line.data(), qsizetype(line.size()));

    const pjlink::ReadLine read = pjlink::readLine(bytes, expectDigest);

    std::string rest = line;
    if (expectDigest) {
        if (line.size() < size_t(pjlink::kDigestLength)) {
            FUZZ_CHECK(!read.request);
            return 0;
        }
        FUZZ_CHECK(toStd(read.digest) == line.substr(0, pjlink::kDigestLength));
        rest = line.substr(pjlink::kDigestLength);
    } else {
        FUZZ_CHECK(read.digest.isEmpty());
    }

    const PlainRequest plain = plainRead(rest);
    FUZZ_CHECK(bool(read.request) == plain.valid);
    // Not a request: whether it is still meant as one, and as which.
    const PlainMalformed meant = plainMalformed(rest);
    FUZZ_CHECK(bool(read.malformed) == (!plain.valid && meant.valid));
    if (read.malformed) {
        const pjlink::MalformedRequest &malformed = *read.malformed;
        FUZZ_CHECK(malformed.headerMissing == meant.headerMissing);
        FUZZ_CHECK(malformed.request.pjlinkClass == meant.pjlinkClass);
        FUZZ_CHECK(toStd(malformed.request.body) == meant.body);
        FUZZ_CHECK(toStd(malformed.request.parameter) == meant.rest);
    }
    if (read.request) {
        const pjlink::Request &request = *read.request;
        FUZZ_CHECK(request.pjlinkClass == plain.pjlinkClass);
        FUZZ_CHECK(toStd(request.body) == plain.body);
        FUZZ_CHECK(toStd(request.parameter) == plain.parameter);
        // Whatever was read fits the standard's line, and nothing was lost.
        FUZZ_CHECK(rest.size() <= size_t(pjlink::kMaxLine) - 1);
        FUZZ_CHECK(std::string("%") + request.pjlinkClass + toStd(request.body) + ' ' + toStd(request.parameter)
                   == rest);
        // The answer to it: one line, "%" CLASS BODY "=" VALUE CR.
        const QByteArray answer = pjlink::reply(request, request.parameter);
        FUZZ_CHECK(toStd(answer) == std::string("%") + plain.pjlinkClass + plain.body + '=' + plain.parameter + '\r');
    }

    // A controller's answer to the challenge: the expected digest with some
    // hex digits in upper case and, now and then, a byte changed; the line's
    // bytes say which.
    const std::string expected = toStd(pjlink::digest(QByteArray::fromStdString(rest), "password"));
    FUZZ_CHECK(expected.size() == size_t(pjlink::kDigestLength));
    std::string given = expected;
    for (size_t i = 0; i < given.size() && i < line.size(); ++i) {
        const auto m = uint8_t(line[i]);
        if ((m & 1) && given[i] >= 'a' && given[i] <= 'f')
            given[i] = char(given[i] - 'a' + 'A');
        if ((m & 0xf0) == 0xf0)
            given[i] = char(given[i] ^ (m & 0x0f));
    }
    if (line.size() > given.size() && uint8_t(line.back()) == 0xff)
        given.pop_back(); // one digit short
    FUZZ_CHECK(pjlink::digestMatches(QByteArray::fromStdString(given), QByteArray::fromStdString(expected))
               == plainDigestMatch(given, expected));
    return 0;
}
