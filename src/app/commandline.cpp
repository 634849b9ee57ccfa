#include "app/commandline.h"

#include "serial/portaddress.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace koru {

namespace {

// The options QGuiApplication and QApplication take out of the arguments
// themselves; true when the option is followed by a value.
struct QtOption
{
    const char *name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    { "platform", true }, { "platformpluginpath", true }, { "platformtheme", true },
    { "plugin", true }, { "qwindowgeometry", true }, { "qwindowicon", true },
    { "qwindowtitle", true }, { "session", true }, { "display", true },
    { "geometry", true }, { "style", true }, { "stylesheet", true },
    { "reverse", false }, { "widgetcount", false }, { "nograb", false },
    { "dograb", false }, { "sync", false }, { "qmljsdebugger", false },
};

const QtOption *qtOption(const QString &argument)
{
    if (!argument.startsWith(QLatin1Char('-')))
        return nullptr;
    // Qt reads -name and --name alike, and -name=value for some.
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    name = name.left(name.indexOf(QLatin1Char('=')));
    for (const QtOption &option : kQtOptions) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

QString usageError(const QString &program, const QString &message)
{
    return QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n").arg(program, message);
}

} // namespace

QStringList withoutQtOptions(const QStringList &arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return kept + arguments.mid(i);
        const QtOption *option = i > 0 ? qtOption(argument) : nullptr;
        if (!option) {
            kept << argument;
            continue;
        }
        if (option->takesValue && !argument.contains(QLatin1Char('=')))
            ++i; // its value
    }
    return kept;
}

PanelCommandLine parsePanelCommandLine(const QStringList &arguments, const PortMapping &remembered)
{
    const QString program = arguments.isEmpty() ? QStringLiteral("koru-panel")
                                                : QFileInfo(arguments.first()).fileName();
    const QString configFile = portConfigPath();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control panel for a data projector on an RS-232C serial line.\n"
                       "Device paths for COM1 and COM2 are read from %1 when it names them;\n"
                       "the options below override it. Qt's own options (-platform, -style ...)\n"
                       "are accepted too. Over tcp:// the gateway's own line settings apply: the\n"
                       "speed panel cannot change them (rfc2217:// can).")
            .arg(configFile));
    // Our own help option: the stock one also offers --help-all, which needs
    // an application object before it can print anything.
    const QCommandLineOption helpOption({ QStringLiteral("h"), QStringLiteral("help") },
                                        QStringLiteral("Displays help on commandline options."));
    parser.addOption(helpOption);
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
    const QCommandLineOption listPortsOption(
        QStringLiteral("list-ports"),
        QStringLiteral("List the serial ports present, with their stable names, and exit."));
    const QCommandLineOption savePortsOption(
        QStringLiteral("save-ports"),
        QStringLiteral("Keep the devices given with --com1 and --com2 for later starts, and exit."));
    parser.addOptions({ com1Option, com2Option, simulateOption, listPortsOption, savePortsOption, logOption });

    PanelCommandLine result;
    const auto fail = [&](const QString &message) {
        result.error = usageError(program, message);
        result.exitCode = 2;
        return result;
    };
    if (!parser.parse(withoutQtOptions(arguments)))
        return fail(parser.errorText());
    if (parser.isSet(helpOption)) {
        // Parsed before the application exists, Qt cannot know our name.
        result.output = parser.helpText().replace(QLatin1String("<executable_name>"), program);
        result.exitCode = 0;
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.output = QStringLiteral("koru-panel %1\n").arg(QStringLiteral(KORU_VERSION));
        result.exitCode = 0;
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    for (const QCommandLineOption *option : { &com1Option, &com2Option }) {
        if (!parser.isSet(*option))
            continue;
        if (parser.value(*option).isEmpty())
            return fail(QStringLiteral("--%1 needs a device path, for example --%1 /dev/ttyUSB0")
                            .arg(option->names().first()));
        if (const ParsedAddress address = parsePortAddress(parser.value(*option)); !address.error.isEmpty())
            return fail(address.error);
    }
    const bool simulate = parser.isSet(simulateOption);
    if (simulate && parser.isSet(com1Option))
        return fail(QStringLiteral("--simulate connects COM1 to the simulated projector; it cannot be used with --com1"));

    const int actions = int(parser.isSet(listPortsOption)) + int(parser.isSet(savePortsOption));
    if (actions > 1)
        return fail(QStringLiteral("--list-ports and --save-ports cannot be used together"));
    if (parser.isSet(listPortsOption)) {
        result.action = PanelCommandLine::Action::ListPorts;
        return result;
    }
    if (parser.isSet(savePortsOption)) {
        if (simulate)
            return fail(QStringLiteral("--save-ports keeps real devices; the simulated projector's changes every run"));
        if (!parser.isSet(com1Option) && !parser.isSet(com2Option))
            return fail(QStringLiteral("--save-ports needs --com1 or --com2 (or both)"));
        result.action = PanelCommandLine::Action::SavePorts;
        if (parser.isSet(com1Option))
            result.portsToSave.com1 = parser.value(com1Option);
        if (parser.isSet(com2Option))
            result.portsToSave.com2 = parser.value(com2Option);
        return result;
    }

    PanelOptions &options = result.options;
    options.com1 = parser.isSet(com1Option) ? parser.value(com1Option) : remembered.com1.value_or(options.com1);
    options.com2 = parser.isSet(com2Option) ? parser.value(com2Option) : remembered.com2.value_or(options.com2);
    options.simulate = simulate;
    if (parser.isSet(logOption))
        options.logPath = parser.value(logOption);
    return result;
}

} // namespace koru
