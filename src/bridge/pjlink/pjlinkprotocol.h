#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace koru::bridge::pjlink {

// A request line is "%1" BODY (four characters), a space, a parameter of up
// to 128 bytes, and CR: 136 bytes at most. The first line of a connection
// that must authenticate carries the 32 hex digits of the digest in front.
inline constexpr qsizetype kMaxLine = 136;
inline constexpr qsizetype kDigestLength = 32;
inline constexpr qsizetype kMaxParameter = 128;
inline constexpr qsizetype kRandomLength = 8;

struct Request
{
    char pjlinkClass = '1';
    QByteArray body;      // four characters, as they came
    QByteArray parameter; // without the separator
};

// A line that is no request as the standard writes one, yet plainly meant
// as one: "%1POWR?", "%1POWR", "%1POWR " (the body readable, what follows
// not a parameter), or "POWR ?" (no header; class 1 assumed). Its class and
// body are there to answer it with an error; `parameter` holds what followed
// the body.
struct MalformedRequest
{
    Request request;
    bool headerMissing = false;
};

// One line as it came, CR removed.
struct ReadLine
{
    QByteArray digest;              // the leading 32 characters, when one was expected
    std::optional<Request> request; // a request as the standard writes it
    std::optional<MalformedRequest> malformed; // else one meant as such; neither: no PJLink at all
};

// Reads one line (without its CR). With `expectDigest`, the line must start
// with 32 characters of digest; those are taken off as they are, before the
// request is read.
ReadLine readLine(QByteArrayView line, bool expectDigest);

// "%1BODY=VALUE\r": one reply.
QByteArray reply(const Request &request, QByteArrayView value);

// What a connection gets first: "PJLINK 0\r" without a password,
// "PJLINK 1 " + `random` + "\r" with one.
QByteArray greeting(QByteArrayView random);
// "PJLINK ERRA\r": wrong or missing authentication; the connection closes.
QByteArray authenticationError();

// 8 hex digits from the system's secure source, new at every call.
QByteArray newRandom();
// The 32 lower-case hex digits of MD5(random + password).
QByteArray digest(QByteArrayView random, QByteArrayView password);
// Whether `given` is `expected`, in a time that does not depend on where
// they first differ; hex digits compare in either case.
bool digestMatches(QByteArrayView given, QByteArrayView expected);

} // namespace koru::bridge::pjlink
