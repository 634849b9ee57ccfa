#pragma once

#include "protocol/catalogue.h"

#include <QHash>
#include <QHostAddress>

#include <chrono>

namespace koru::bridge {

// Keeps a log readable when one address knocks thousands of times: a notice
// about an address is due the first time, then again only once `quiet` has
// passed since the last one said. Time is handed in (any monotonic clock).
class AddressNotices
{
public:
    explicit AddressNotices(Millis quiet = std::chrono::minutes(1)) : m_quiet(quiet) {}

    // Whether to say it now; if so, the quiet time starts again.
    bool due(const QHostAddress &address, Millis now);

    // Addresses remembered; bounded, the oldest forgotten first.
    qsizetype size() const { return m_saidAt.size(); }
    static constexpr qsizetype kMaxAddresses = 1024;

private:
    Millis m_quiet;
    QHash<QHostAddress, Millis> m_saidAt;
};

} // namespace koru::bridge
