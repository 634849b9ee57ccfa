#include "bridge/pjlink/pjlinkconfig.h"

namespace koru::bridge {

const std::vector<ConfigKey<PjlinkConfig>> &pjlinkKeys()
{
    using Key = ConfigKey<PjlinkConfig>;
    static const std::vector<Key> keys = {
        { "pjlink", "address:port", "Where the PJLink server listens, ADDRESS:PORT (PJLink's standard port is 4352).",
          [](PjlinkConfig &c, QStringView v) { return setListenAddress(c.listen, v); } },
        { "password-file", "file",
          "The file holding the PJLink password on its first line: 1 to 32 printable characters, no blanks. "
          "Without it PJLink asks for no password.",
          [](PjlinkConfig &c, QStringView v) { return setNonEmpty(c.passwordFile, v); } },
    };
    return keys;
}

std::optional<ConfigProblem> checkPjlink(const PjlinkConfig &config, const QString &section)
{
    if (!config.passwordFile.isEmpty() && !config.listen)
        return ConfigProblem { 0, section, QStringLiteral("password-file"),
                               QStringLiteral("given without a PJLink listener") };
    return std::nullopt;
}

} // namespace koru::bridge
