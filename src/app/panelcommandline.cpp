#include "app/panelcommandline.h"

#include "serial/portaddress.h"

#include <QCommandLineParser>

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

namespace {

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

program::ProgramInfo panelProgram()
{
    return { QStringLiteral("koru-panel"),
             QStringLiteral("Control panel for a data projector on an RS-232C serial line.\n"
                            "Device paths for COM1 and COM2 are read from %1 when it names them;\n"
                            "the options below override it. Qt's own options (-platform, -style ...)\n"
                            "are accepted too. Over tcp:// the gateway's own line settings apply: the\n"
                            "speed panel cannot change them (rfc2217:// can).")
                 .arg(portConfigPath()) };
}

// A message for the user when a port option or its combination is wrong.
std::optional<QString> checkPorts(const QCommandLineParser &parser)
{
    for (const QCommandLineOption *option : { &com1Option, &com2Option }) {
        if (!parser.isSet(*option))
            continue;
        if (parser.value(*option).isEmpty())
            return QStringLiteral("--%1 needs a device path, for example --%1 /dev/ttyUSB0").arg(option->names().first());
        if (const ParsedAddress address = parsePortAddress(parser.value(*option)); !address.error.isEmpty())
            return address.error;
    }
    if (parser.isSet(simulateOption) && parser.isSet(com1Option))
        return QStringLiteral("--simulate connects COM1 to the simulated projector; it cannot be used with --com1");
    if (parser.isSet(listPortsOption) && parser.isSet(savePortsOption))
        return QStringLiteral("--list-ports and --save-ports cannot be used together");
    if (!parser.isSet(savePortsOption))
        return std::nullopt;
    if (parser.isSet(simulateOption))
        return QStringLiteral("--save-ports keeps real devices; the simulated projector's changes every run");
    if (!parser.isSet(com1Option) && !parser.isSet(com2Option))
        return QStringLiteral("--save-ports needs --com1 or --com2 (or both)");
    return std::nullopt;
}

// What the command line asks the program to do, once it is known to be right.
void readAction(const QCommandLineParser &parser, const PortMapping &remembered, PanelCommandLine &result)
{
    const auto given = [&parser](const QCommandLineOption &option) {
        return parser.isSet(option) ? std::optional<QString>(parser.value(option)) : std::nullopt;
    };
    if (parser.isSet(listPortsOption)) {
        result.action = PanelCommandLine::Action::ListPorts;
    } else if (parser.isSet(savePortsOption)) {
        result.action = PanelCommandLine::Action::SavePorts;
        result.portsToSave = { given(com1Option), given(com2Option) };
    } else {
        PanelOptions &options = result.options;
        options.com1 = given(com1Option).value_or(remembered.com1.value_or(options.com1));
        options.com2 = given(com2Option).value_or(remembered.com2.value_or(options.com2));
        options.simulate = parser.isSet(simulateOption);
        options.logPath = given(logOption).value_or(QString());
    }
}

} // namespace

PanelCommandLine parsePanelCommandLine(const QStringList &arguments, const PortMapping &remembered)
{
    PanelCommandLine result;
    program::CommandLine commandLine(arguments, panelProgram());
    QCommandLineParser &parser = commandLine.parser();
    parser.addOptions({ com1Option, com2Option, simulateOption, listPortsOption, savePortsOption, logOption });
    if (!commandLine.parse(withoutQtOptions(arguments), result))
        return result;
    if (!parser.positionalArguments().isEmpty()) {
        commandLine.refuse(result, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
        return result;
    }
    if (const std::optional<QString> refusal = checkPorts(parser)) {
        commandLine.refuse(result, *refusal);
        return result;
    }
    readAction(parser, remembered, result);
    return result;
}

} // namespace koru
