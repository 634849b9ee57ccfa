#include "bridge/configkeys.h"

#include <algorithm>

namespace koru::bridge {

std::optional<QString> setNonEmpty(QString &target, QStringView value)
{
    if (value.isEmpty())
        return QStringLiteral("empty");
    target = value.toString();
    return std::nullopt;
}

std::optional<QString> applyKey(const std::vector<BoundKey> &keys, QStringView key, QStringView value)
{
    const auto bound = std::find_if(keys.begin(), keys.end(), [key](const BoundKey &k) { return k.key == key; });
    if (bound != keys.end())
        return bound->apply(value);
    QStringList known;
    for (const BoundKey &k : keys)
        known << k.key;
    return QStringLiteral("unknown key; known: %1").arg(known.join(QLatin1String(", ")));
}

std::optional<ConfigProblem> applySection(const ConfigSection &section, const std::vector<BoundKey> &keys)
{
    for (const ConfigEntry &entry : section.entries) {
        if (auto reason = applyKey(keys, entry.key, entry.value))
            return ConfigProblem { entry.line, section.header(), entry.key, *reason };
    }
    return std::nullopt;
}

} // namespace koru::bridge
