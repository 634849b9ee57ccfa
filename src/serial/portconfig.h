#pragma once

#include <QString>

#include <optional>

namespace koru {

// Which device COM1 and COM2 open, as kept between runs. This mapping is the
// only thing the panel remembers.
struct PortMapping
{
    std::optional<QString> com1;
    std::optional<QString> com2;
};

// $XDG_CONFIG_HOME/koru/panel.conf, or ~/.config/koru/panel.conf.
QString portConfigPath();

// What the file holds; nothing for a missing file or an empty entry.
PortMapping loadPortMapping(const QString &path);

// Writes the ports that are set, leaving the others in the file as they are.
// False, with `error` set, when the file cannot be written.
bool savePortMapping(const QString &path, const PortMapping &mapping, QString *error);

} // namespace koru
