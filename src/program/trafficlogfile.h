#pragma once

#include "protocol/trafficlog.h"

#include <QString>

#include <memory>

namespace koru::program {

// Opens the transcript a program's --log names; null for an empty path.
// False, with the reason in `error`, when the file cannot be written: a log
// asked for on the command line is then an error of the command line.
bool openTrafficLog(const QString &path, std::unique_ptr<TrafficLog> &log, QString *error);

// As above, saying why on standard error as NAME does.
bool openTrafficLog(const QString &path, std::unique_ptr<TrafficLog> &log, const QString &name);

} // namespace koru::program
