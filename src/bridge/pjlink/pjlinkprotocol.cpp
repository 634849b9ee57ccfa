#include "bridge/pjlink/pjlinkprotocol.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace koru::bridge::pjlink {

namespace {
constexpr qsizetype kBodyLength = 4;
constexpr qsizetype kHeaderLength = 2; // '%' and the class digit

// Bodies are written in letters and digits ("POWR", "INF1"); anything else
// in their place is no body that an error reply could repeat.
bool isBody(QByteArrayView bytes)
{
    if (bytes.size() < kBodyLength)
        return false;
    for (const char c : bytes.first(kBodyLength)) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

bool isHeader(QByteArrayView line)
{
    return line.size() >= kHeaderLength && line[0] == '%' && line[1] >= '1' && line[1] <= '9';
}

std::optional<MalformedRequest> readMalformed(QByteArrayView line)
{
    const bool header = isHeader(line);
    const QByteArrayView rest = header ? line.sliced(kHeaderLength) : line;
    if (!isBody(rest))
        return std::nullopt;
    return MalformedRequest { Request { header ? line[1] : '1', rest.first(kBodyLength).toByteArray(),
                                        rest.sliced(kBodyLength).toByteArray() },
                              !header };
}
} // namespace

ReadLine readLine(QByteArrayView line, bool expectDigest)
{
    ReadLine read;
    if (expectDigest) {
        if (line.size() < kDigestLength)
            return read;
        read.digest = line.first(kDigestLength).toByteArray();
        line = line.sliced(kDigestLength);
    }
    // "%1POWR ?" at the least: header, body, separator, one byte of parameter.
    if (line.size() < kHeaderLength + kBodyLength + 2 || !isHeader(line) || line[kHeaderLength + kBodyLength] != ' '
        || line.size() - (kHeaderLength + kBodyLength + 1) > kMaxParameter) {
        read.malformed = readMalformed(line);
        return read;
    }
    const QByteArrayView parameter = line.sliced(kHeaderLength + kBodyLength + 1);
    read.request = Request { line[1], line.sliced(kHeaderLength, kBodyLength).toByteArray(),
                             parameter.toByteArray() };
    return read;
}

QByteArray reply(const Request &request, QByteArrayView value)
{
    QByteArray bytes;
    bytes.reserve(kHeaderLength + kBodyLength + 2 + value.size());
    bytes += '%';
    bytes += request.pjlinkClass;
    bytes += request.body;
    bytes += '=';
    bytes += value;
    bytes += '\r';
    return bytes;
}

QByteArray greeting(QByteArrayView random)
{
    if (random.isEmpty())
        return QByteArrayLiteral("PJLINK 0\r");
    return QByteArrayLiteral("PJLINK 1 ") + random.toByteArray() + '\r';
}

QByteArray authenticationError()
{
    return QByteArrayLiteral("PJLINK ERRA\r");
}

QByteArray newRandom()
{
    return QByteArray::number(QRandomGenerator::system()->generate(), 16)
        .rightJustified(kRandomLength, '0');
}

QByteArray digest(QByteArrayView random, QByteArrayView password)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(random);
    hash.addData(password);
    return hash.result().toHex();
}

bool digestMatches(QByteArrayView given, QByteArrayView expected)
{
    if (given.size() != expected.size())
        return false;
    unsigned difference = 0;
    for (qsizetype i = 0; i < given.size(); ++i) {
        // Lower-casing touches only the client's bytes, never depends on the secret.
        const char c = given[i];
        const char lower = (c >= 'A' && c <= 'F') ? char(c - 'A' + 'a') : c;
        difference |= unsigned(quint8(lower) ^ quint8(expected[i]));
    }
    return difference == 0;
}

} // namespace koru::bridge::pjlink
