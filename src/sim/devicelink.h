#pragma once

#include <QString>

namespace koru::sim {

// A symbolic link with a fixed name to the simulator's device, whose own name
// changes from run to run. It replaces an older symbolic link of that name
// but never a regular file or directory, and is removed again on destruction
// if it still points at our device.
class DeviceLink
{
public:
    DeviceLink() = default;
    ~DeviceLink();
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    bool create(const QString &linkPath, const QString &target, QString *error);
    void remove();
    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_target;
};

} // namespace koru::sim
