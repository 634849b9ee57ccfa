#include "panel/openfailuremessage.h"

namespace koru {

namespace {

QString missingDeviceAdvice(const OpenFailure &failure)
{
    QString text = QStringLiteral("Check that the adapter is plugged in, or name the device with --com%1.")
                       .arg(failure.port);
    if (failure.presentPorts.isEmpty())
        text += QStringLiteral(" No serial ports are present on this machine.");
    else
        text += QStringLiteral(" Serial ports present: %1.").arg(namedPresentPorts(failure));
    if (!failure.configFile.isEmpty())
        text += QStringLiteral(" Add --save-ports to keep the device for later starts (in %1).")
                    .arg(failure.configFile);
    return text;
}

QString advice(const OpenFailure &failure, bool atStartUp)
{
    switch (failure.cause) {
    case OpenFailureCause::NoDevice:
        return missingDeviceAdvice(failure);
    case OpenFailureCause::NotASerialDevice:
        return QStringLiteral("Name the adapter's device with --com%1; --list-ports shows the serial ports present.")
            .arg(failure.port);
    case OpenFailureCause::Busy:
        return atStartUp ? QStringLiteral("Close the other program, then start the panel again.")
                         : QStringLiteral("Close the other program and choose the port again.");
    case OpenFailureCause::NotConfigured: // COM1 and COM2 always name a device
    case OpenFailureCause::BadAddress: // the reason says what an address looks like
    case OpenFailureCause::PermissionDenied: // the reason says how to get access
    case OpenFailureCause::Gateway: // the reason says what to check on the gateway
    case OpenFailureCause::Other:
        break;
    }
    return QString();
}

} // namespace

QString openFailureMessage(const OpenFailure &failure, bool atStartUp)
{
    return openFailureText(openFailureLabel(failure), failure, advice(failure, atStartUp));
}

} // namespace koru
