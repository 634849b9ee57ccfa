#include "app/commandline.h"

#include "serial/portaddress.h"

#include <QCommandLineParser>

namespace koru {

PanelCommandLine parsePanelCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control panel for a data projector on an RS-232C serial line.\n"
                       "Over tcp:// the gateway's own line settings apply: the speed panel cannot "
                       "change them (rfc2217:// can)."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption com1Option(
        QStringLiteral("com1"),
        QStringLiteral("Device that COM1 opens (default %1), or a serial device server: "
                       "tcp://HOST:PORT or rfc2217://HOST:PORT (IPv6 as [::1]:PORT).")
            .arg(QLatin1String(MSComm::kDefaultCom1)),
        QStringLiteral("path"));
    const QCommandLineOption com2Option(QStringLiteral("com2"),
                                        QStringLiteral("Device that COM2 opens (default %1), or an "
                                                       "address as for --com1.")
                                            .arg(QLatin1String(MSComm::kDefaultCom2)),
                                        QStringLiteral("path"));
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Start a simulated projector in this process and connect COM1 to it."));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Append every frame sent and every chunk received to this file."),
                                       QStringLiteral("file"));
    parser.addOptions({ com1Option, com2Option, simulateOption, logOption });

    PanelCommandLine result;
    const QString program = arguments.isEmpty() ? QStringLiteral("koru-panel") : arguments.first();
    if (!parser.parse(arguments)) {
        result.error = QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n").arg(program, parser.errorText());
        result.exitCode = 2;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("%1: unexpected argument '%2'\nTry '%1 --help' for the options.\n")
                           .arg(program, parser.positionalArguments().first());
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(helpOption)) {
        result.output = parser.helpText();
        result.exitCode = 0;
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.output = QStringLiteral("koru-panel %1\n").arg(QStringLiteral(KORU_VERSION));
        result.exitCode = 0;
        return result;
    }
    if (parser.isSet(com1Option))
        result.options.com1 = parser.value(com1Option);
    if (parser.isSet(com2Option))
        result.options.com2 = parser.value(com2Option);
    result.options.simulate = parser.isSet(simulateOption);
    if (parser.isSet(logOption))
        result.options.logPath = parser.value(logOption);
    for (const QString &path : { result.options.com1, result.options.com2 }) {
        if (path.isEmpty()) {
            result.error = QStringLiteral("%1: a device path must not be empty\n").arg(program);
            result.exitCode = 2;
            return result;
        }
        if (const ParsedAddress address = parsePortAddress(path); !address.error.isEmpty()) {
            result.error = QStringLiteral("%1: %2\n").arg(program, address.error);
            result.exitCode = 2;
            return result;
        }
    }
    return result;
}

} // namespace koru
