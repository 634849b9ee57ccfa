#include "program/trafficlogfile.h"

#include "program/output.h"

namespace koru::program {

bool openTrafficLog(const QString &path, std::unique_ptr<TrafficLog> &log, QString *error)
{
    log.reset();
    if (path.isEmpty())
        return true;
    auto opened = std::make_unique<TrafficLog>();
    if (!opened->open(path, error))
        return false;
    log = std::move(opened);
    return true;
}

bool openTrafficLog(const QString &path, std::unique_ptr<TrafficLog> &log, const QString &name)
{
    QString error;
    if (openTrafficLog(path, log, &error))
        return true;
    complain(name, error);
    return false;
}

} // namespace koru::program
