#pragma once

#include "bridge/configfile.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>
#include <vector>

namespace koru::bridge {

// One key of a section, as its owner (the core, a room) declares it: the
// words --help and the manual show, and how its value is set on the owner's
// own configuration (the reason when the value is refused). Each owner keeps
// one such table; the file, the command line and the manual all read it.
template <typename Target>
struct ConfigKey
{
    const char *key;
    const char *valueName; // for --help: "address:port"
    const char *help;      // one sentence or a few, for --help and the manual
    std::optional<QString> (*apply)(Target &target, QStringView value);
};

// A key's words, whoever owns it.
struct KeyHelp
{
    QString key;
    QString valueName;
    QString help;
};

// A key bound to the configuration it sets.
struct BoundKey
{
    QString key;
    std::function<std::optional<QString>(QStringView value)> apply;
};

template <typename Target>
void appendHelp(std::vector<KeyHelp> &into, const std::vector<ConfigKey<Target>> &table)
{
    for (const ConfigKey<Target> &row : table)
        into.push_back({ QLatin1String(row.key), QLatin1String(row.valueName), QLatin1String(row.help) });
}

// `target` must outlive the bound keys.
template <typename Target>
void appendBound(std::vector<BoundKey> &into, const std::vector<ConfigKey<Target>> &table, Target &target)
{
    for (const ConfigKey<Target> &row : table) {
        const auto apply = row.apply;
        into.push_back({ QLatin1String(row.key), [apply, &target](QStringView value) { return apply(target, value); } });
    }
}

// A value that may be anything but empty (a path, a name).
std::optional<QString> setNonEmpty(QString &target, QStringView value);

// Sets `key` through the bound key of that name; the reason when its value
// is refused or no key has that name.
std::optional<QString> applyKey(const std::vector<BoundKey> &keys, QStringView key, QStringView value);

// Every line of `section` in turn; the first that is refused, placed.
std::optional<ConfigProblem> applySection(const ConfigSection &section, const std::vector<BoundKey> &keys);

} // namespace koru::bridge
