#include "bridge/pjlink/authfailures.h"

#include <algorithm>

namespace koru::bridge {

void AuthFailures::recordFailure(const QHostAddress &address, Millis now)
{
    forgetOld(now);
    if (!m_entries.contains(address) && m_entries.size() >= kMaxAddresses) {
        const auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                             [](const Entry &a, const Entry &b) { return a.last < b.last; });
        m_entries.erase(oldest);
    }
    Entry &entry = m_entries[address];
    entry.last = now;
    entry.failures.push_back(now);
    while (!entry.failures.empty() && entry.failures.front() <= now - m_limits.window)
        entry.failures.pop_front();
    if (int(entry.failures.size()) >= m_limits.maxFailures) {
        entry.blockedUntil = now + m_limits.block;
        entry.failures.clear();
    }
}

bool AuthFailures::isBlocked(const QHostAddress &address, Millis now) const
{
    const auto found = m_entries.constFind(address);
    return found != m_entries.cend() && now < found->blockedUntil;
}

void AuthFailures::forgetOld(Millis now)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const bool stale = now >= it->blockedUntil && it->last <= now - m_limits.window;
        it = stale ? m_entries.erase(it) : std::next(it);
    }
}

} // namespace koru::bridge
