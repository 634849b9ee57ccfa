#pragma once

#include "protocol/catalogue.h"

#include <QHash>
#include <QHostAddress>

#include <chrono>
#include <deque>

namespace koru::bridge {

// Who guesses passwords is shut out for a while: after `maxFailures` failed
// authentications from one address within `window`, that address's
// connections are closed for `block`. Time is handed in (any monotonic
// clock), so the rule is tested without waiting.
struct AuthLimits
{
    int maxFailures = 3;
    Millis window { std::chrono::minutes(1) };
    Millis block { std::chrono::minutes(1) };
};

class AuthFailures
{
public:
    explicit AuthFailures(AuthLimits limits = {}) : m_limits(limits) {}

    void recordFailure(const QHostAddress &address, Millis now);
    bool isBlocked(const QHostAddress &address, Millis now) const;

    // Addresses remembered; bounded, the oldest forgotten first.
    qsizetype size() const { return m_entries.size(); }
    static constexpr qsizetype kMaxAddresses = 1024;

private:
    struct Entry
    {
        std::deque<Millis> failures; // within the window, oldest first
        Millis blockedUntil { 0 };
        Millis last { 0 };
    };
    void forgetOld(Millis now);

    AuthLimits m_limits;
    QHash<QHostAddress, Entry> m_entries;
};

} // namespace koru::bridge
