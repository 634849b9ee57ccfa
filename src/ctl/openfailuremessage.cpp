#include "ctl/openfailuremessage.h"

namespace koru::ctl {

namespace {

QString missingDeviceAdvice(const OpenFailure &failure)
{
    const QString text = QStringLiteral("Check that the adapter is plugged in, or name the device with --port.");
    if (failure.presentPorts.isEmpty())
        return text + QStringLiteral(" No serial ports are present on this machine.");
    return text + QStringLiteral(" Serial ports present: %1 (--list-ports lists them).").arg(namedPresentPorts(failure));
}

QString advice(const OpenFailure &failure)
{
    switch (failure.cause) {
    case OpenFailureCause::NotConfigured:
        return QStringLiteral("Name the device with --port.");
    case OpenFailureCause::NoDevice:
        return missingDeviceAdvice(failure);
    case OpenFailureCause::NotASerialDevice:
        return QStringLiteral("Name the adapter's device with --port; --list-ports shows the serial ports present.");
    case OpenFailureCause::Busy:
        return QStringLiteral("Close the other program, or name another device with --port.");
    case OpenFailureCause::Gateway:
        return QStringLiteral("Check the address given with --port.");
    case OpenFailureCause::BadAddress: // the reason says what an address looks like
    case OpenFailureCause::PermissionDenied: // the reason says how to get access
    case OpenFailureCause::Other:
        break;
    }
    return QString();
}

} // namespace

QString openFailureMessage(const OpenFailure &failure)
{
    // The user named no port number, only the address.
    const bool addressInReason = failure.path.isEmpty() || failure.cause == OpenFailureCause::BadAddress;
    const QString label = addressInReason ? QStringLiteral("the port") : failure.path;
    return openFailureText(label, failure, advice(failure));
}

QString portFailureMessage(const CommResult &result)
{
    return result.openFailure() ? openFailureMessage(*result.openFailure()) : result.message();
}

QString lineLostMessage(const QString &port, const QString &reason)
{
    return QStringLiteral("%1 was lost: %2.").arg(port, reason);
}

} // namespace koru::ctl
