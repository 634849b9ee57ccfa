#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace koru::sim {

// A symbolic link with a fixed name to the simulator's device, whose own name
// changes from run to run. It replaces an older symbolic link of that name
// but never a regular file or directory, and is removed again on destruction
// if it still points at our device.
//
// A running simulator also holds a lock file beside its link (the link's name
// with ".lock" added), so that a second one does not take the link over
// unnoticed; a lock left by a simulator that died is taken over silently.
class DeviceLink
{
public:
    DeviceLink();
    ~DeviceLink();
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    // With `force`, a link that a running simulator holds is replaced too.
    bool create(const QString &linkPath, const QString &target, bool force, QString *error);
    void remove();
    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_target;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace koru::sim
