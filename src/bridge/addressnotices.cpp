#include "bridge/addressnotices.h"

#include <algorithm>

namespace koru::bridge {

bool AddressNotices::due(const QHostAddress &address, Millis now)
{
    const auto found = m_saidAt.constFind(address);
    if (found != m_saidAt.cend() && now < *found + m_quiet)
        return false;
    if (found == m_saidAt.cend() && m_saidAt.size() >= kMaxAddresses) {
        m_saidAt.removeIf([&](const auto &entry) { return now >= entry.value() + m_quiet; });
        if (m_saidAt.size() >= kMaxAddresses)
            m_saidAt.erase(std::min_element(m_saidAt.begin(), m_saidAt.end()));
    }
    m_saidAt.insert(address, now);
    return true;
}

} // namespace koru::bridge
