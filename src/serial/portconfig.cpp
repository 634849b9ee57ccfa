#include "serial/portconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace koru {

namespace {

const QString Com1Key = QStringLiteral("ports/com1");
const QString Com2Key = QStringLiteral("ports/com2");

} // namespace

QString portConfigPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative value is to be ignored, as the XDG rules say.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/koru/panel.conf");
}

PortMapping loadPortMapping(const QString &path)
{
    PortMapping mapping;
    if (!QFileInfo::exists(path))
        return mapping;
    const QSettings file(path, QSettings::IniFormat);
    for (auto [key, slot] : { std::pair { Com1Key, &mapping.com1 }, std::pair { Com2Key, &mapping.com2 } }) {
        const QString value = file.value(key).toString().trimmed();
        if (!value.isEmpty())
            *slot = value;
    }
    return mapping;
}

bool savePortMapping(const QString &path, const PortMapping &mapping, QString *error)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    QSettings file(path, QSettings::IniFormat);
    if (mapping.com1)
        file.setValue(Com1Key, *mapping.com1);
    if (mapping.com2)
        file.setValue(Com2Key, *mapping.com2);
    file.sync();
    if (file.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

} // namespace koru
