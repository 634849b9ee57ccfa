#pragma once

#include "bridge/bridgeconfig.h"
#include "bridge/configkeys.h"

#include <QString>

#include <optional>
#include <vector>

namespace koru::bridge {

// PJLink's digest takes passwords of up to 32 characters.
inline constexpr qsizetype kMaxPjlinkPassword = 32;

// A projector's PJLink server, as its [projector ID] section gives it.
struct PjlinkConfig
{
    std::optional<ListenAddress> listen; // none: no PJLink server
    QString passwordFile;                // empty: PJLink without authentication

    bool operator==(const PjlinkConfig &other) const
    {
        return listen == other.listen && passwordFile == other.passwordFile;
    }
    bool operator!=(const PjlinkConfig &other) const { return !(*this == other); }
};

// The keys of a [projector ID] section that PJLink reads.
const std::vector<ConfigKey<PjlinkConfig>> &pjlinkKeys();

// What the section lacks for PJLink, placed in `section`.
std::optional<ConfigProblem> checkPjlink(const PjlinkConfig &config, const QString &section);

} // namespace koru::bridge
