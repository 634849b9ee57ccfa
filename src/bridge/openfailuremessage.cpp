#include "bridge/openfailuremessage.h"

namespace koru::bridge {

namespace {

// Where the bridge's user names a projector's line.
const QString kPortSetting = QStringLiteral("port = in the configuration file (--port on the command line)");

QString missingDeviceAdvice(const OpenFailure &failure)
{
    const QString text = QStringLiteral("Check that the adapter is plugged in, or correct %1.").arg(kPortSetting);
    if (failure.presentPorts.isEmpty())
        return text + QStringLiteral(" No serial ports are present on this machine.");
    return text + QStringLiteral(" Serial ports present: %1.").arg(namedPresentPorts(failure));
}

QString advice(const OpenFailure &failure)
{
    switch (failure.cause) {
    case OpenFailureCause::NotConfigured:
        return QStringLiteral("Name the device with %1.").arg(kPortSetting);
    case OpenFailureCause::NoDevice:
        return missingDeviceAdvice(failure);
    case OpenFailureCause::NotASerialDevice:
        return QStringLiteral("Name the adapter's device with %1.").arg(kPortSetting);
    case OpenFailureCause::Busy:
        return QStringLiteral("The line is taken once the other program lets it go.");
    case OpenFailureCause::Gateway:
        return QStringLiteral("Check the address in %1.").arg(kPortSetting);
    case OpenFailureCause::BadAddress: // the reason says what an address looks like
    case OpenFailureCause::PermissionDenied: // the reason says how to get access
    case OpenFailureCause::Other:
        break;
    }
    return QString();
}

// A reason as a sentence of its own.
QString sentence(const QString &reason)
{
    return reason.endsWith(u'.') || reason.endsWith(u'?') ? reason : reason + u'.';
}

} // namespace

QString openFailureMessage(const CommResult &result)
{
    if (!result.openFailure())
        return result.message();
    const OpenFailure &failure = *result.openFailure();
    const QString text = sentence(openFailureReason(failure));
    const QString more = advice(failure);
    return more.isEmpty() ? text : text + u' ' + more;
}

} // namespace koru::bridge
