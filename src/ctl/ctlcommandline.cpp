#include "ctl/ctlcommandline.h"

#include "layout/controlinventory.h"
#include "protocol/commandwords.h"
#include "protocol/replydecoding.h"
#include "serial/commsettings.h"
#include "serial/portaddress.h"
#include "serial/portlisting.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace koru::ctl {

namespace {

using namespace std::chrono_literals;

const QString PortOption = QStringLiteral("port");
const QString SpeedOption = QStringLiteral("speed");
const QString TimeoutOption = QStringLiteral("timeout");
const QString HoldOption = QStringLiteral("hold");
const QString WaitForOption = QStringLiteral("wait-for");
const QString WithinOption = QStringLiteral("within");
const QString JsonOption = QStringLiteral("json");
const QString ListOption = QStringLiteral("list");
const QString ListPortsOption = QStringLiteral("list-ports");
const QString LogOption = QStringLiteral("log");

const program::ProgramInfo kProgram {
    QStringLiteral("koru-ctl"),
    QStringLiteral("Sends commands to a data projector on an RS-232C line and prints its replies,\n"
                   "one line per command. Exit status: %1 all answered, %2 port failed, %3 usage,\n"
                   "%4 no reply (or the wait ran out), %5 NAK or an unreadable reply.")
        .arg(exitcode::Answered)
        .arg(exitcode::PortFailed)
        .arg(exitcode::Usage)
        .arg(exitcode::NoReply)
        .arg(exitcode::BadReply),
    QStringLiteral(", '%1 --list' for the commands"),
};

void addOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        { PortOption,
          QStringLiteral("Serial device (default %1), or a gateway: tcp://host:port, rfc2217://host:port.")
              .arg(QLatin1String(MSComm::kDefaultCom1)),
          QStringLiteral("path|url") },
        { SpeedOption, QStringLiteral("Line speed, 19200 or 9600 (default 19200), always 8N1."), QStringLiteral("baud") },
        { TimeoutOption, QStringLiteral("Reply wait in milliseconds (default %1).").arg(kReplyWait.count()),
          QStringLiteral("ms") },
        { HoldOption, QStringLiteral("Hold the hold commands (vol-up ...) this long: they repeat at their button's period."),
          QStringLiteral("duration") },
        { WaitForOption, QStringLiteral("After the commands, ask the status once a second until it reads these words."),
          QStringLiteral("words") },
        { WithinOption, QStringLiteral("How long --wait-for may take (default 0: one check)."), QStringLiteral("duration") },
        { JsonOption, QStringLiteral("One JSON object per command, for scripts.") },
        { ListOption, QStringLiteral("List every command with its code, kind and button.") },
        { ListPortsOption, QStringLiteral("List the serial ports present (by-id name, description, USB ids).") },
        { LogOption, QStringLiteral("Append every frame sent and every chunk received to this file."), QStringLiteral("file") },
    });
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("A command name (power-on, status ...) or code (C00)."),
                                 QStringLiteral("COMMAND..."));
}

const char *kindWord(CommandKind kind)
{
    switch (kind) {
    case CommandKind::OneShot:
        return "one-shot";
    case CommandKind::Hold:
        return "hold";
    case CommandKind::Arrow:
        return "hold (arrow)";
    }
    return "";
}

} // namespace

std::optional<Millis> parseDuration(QStringView text, Millis bareUnit)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,9}(?:\\.\\d{1,3})?)(ms|s|m|h)?$"));
    const QRegularExpressionMatch match = pattern.match(text.toString());
    if (!match.hasMatch())
        return std::nullopt;
    const double number = match.captured(1).toDouble();
    const QString unit = match.captured(2);
    const double unitMs = unit == u"ms" ? 1.0
        : unit == u"s"                  ? 1000.0
        : unit == u"m"                  ? 60000.0
        : unit == u"h"                  ? 3600000.0
                                        : double(bareUnit.count());
    const double ms = std::round(number * unitMs);
    if (ms > double(std::chrono::duration_cast<Millis>(24h).count()))
        return std::nullopt;
    return Millis(qint64(ms));
}

QString commandListing()
{
    QString out;
    for (const Command &row : commandCatalogue()) {
        const layout::ControlEntry *button = layout::findControl(row.control);
        const QString caption = button ? QString::fromUtf8(button->caption) : QString();
        const QString title = button ? QString::fromUtf8(button->accessibleName) : QString();
        out += QStringLiteral("%1  %2  %3  %4  (%5)\n")
                   .arg(QLatin1String(row.name), -19)
                   .arg(QLatin1String(row.code))
                   .arg(QLatin1String(kindWord(row.kind)), -12)
                   .arg(caption, -13)
                   .arg(title);
    }
    return out;
}

namespace {

// Each reader below takes its options from `parser` into `options`; a
// message for the user when one of them is wrong.
using program::Refusal;

Refusal readLine(const QCommandLineParser &parser, CtlOptions &options)
{
    if (parser.isSet(PortOption))
        options.port = parser.value(PortOption);
    if (options.port.isEmpty())
        return QStringLiteral("the port must not be empty");
    // A mistyped address is a fault of the command line (status 2), not of
    // the port: a script can tell a typo in its list from an unplugged adapter.
    if (const ParsedAddress address = parsePortAddress(options.port); !address.error.isEmpty())
        return QStringLiteral("--port: ") + address.error;

    const QString speed = parser.isSet(SpeedOption) ? parser.value(SpeedOption) : QStringLiteral("19200");
    if (speed == u"19200")
        options.settings = QLatin1String(kSettings19200);
    else if (speed == u"9600")
        options.settings = QLatin1String(kSettings9600);
    else
        return QStringLiteral("invalid speed '%1': the projector runs at 19200 or 9600").arg(speed);

    if (parser.isSet(TimeoutOption)) {
        const auto wait = parseDuration(parser.value(TimeoutOption), 1ms);
        if (!wait || *wait <= 0ms)
            return QStringLiteral("invalid --timeout '%1': a reply wait in milliseconds, e.g. 500")
                .arg(parser.value(TimeoutOption));
        options.replyWait = *wait;
    }
    return std::nullopt;
}

Refusal readCommands(const QCommandLineParser &parser, CtlOptions &options)
{
    for (const QString &word : parser.positionalArguments()) {
        const CommandLookup lookup = lookUpCommand(word);
        if (!lookup.command)
            return lookup.codeShaped ? lookup.refusal + QStringLiteral("; --list shows every command and its code")
                                     : lookup.refusal;
        options.commands.push_back(lookup.command);
    }
    if (!parser.isSet(HoldOption))
        return std::nullopt;
    const auto hold = parseDuration(parser.value(HoldOption), 1s);
    if (!hold || *hold <= 0ms)
        return QStringLiteral("invalid --hold '%1': a duration such as 2s or 750ms").arg(parser.value(HoldOption));
    const bool anyHold = std::any_of(options.commands.begin(), options.commands.end(),
                                     [](const Command *c) { return c->kind != CommandKind::OneShot; });
    if (!anyHold)
        return QStringLiteral("--hold needs a hold command (vol-up, zoom-down, cursor-up ...)");
    options.hold = *hold;
    return std::nullopt;
}

Refusal readWait(const QCommandLineParser &parser, CtlOptions &options)
{
    if (parser.isSet(WaitForOption)) {
        const QString wanted = parser.value(WaitForOption).trimmed();
        QStringList known;
        for (const QString &text : decodedTexts(query::Status))
            known << text.trimmed();
        const auto match = std::find_if(known.begin(), known.end(), [&](const QString &words) {
            return words.compare(wanted, Qt::CaseInsensitive) == 0;
        });
        if (match == known.end())
            return QStringLiteral("--wait-for '%1' is not a status; the status reads one of: %2")
                .arg(wanted, known.join(u", "));
        options.wantedStatus = *match;
    }
    if (parser.isSet(WithinOption)) {
        if (options.wantedStatus.isEmpty())
            return QStringLiteral("--within belongs to --wait-for");
        const auto within = parseDuration(parser.value(WithinOption), 1s);
        if (!within)
            return QStringLiteral("invalid --within '%1': a duration such as 10s, 90s or 2m")
                .arg(parser.value(WithinOption));
        options.within = *within;
    }
    return std::nullopt;
}

Refusal readReport(const QCommandLineParser &parser, CtlOptions &options)
{
    if (options.commands.empty() && options.wantedStatus.isEmpty())
        return QStringLiteral("no command given");
    options.json = parser.isSet(JsonOption);
    if (parser.isSet(LogOption)) {
        options.logPath = parser.value(LogOption);
        if (options.logPath.isEmpty())
            return QStringLiteral("the log file must not be empty");
    }
    return std::nullopt;
}

} // namespace

CtlCommandLine parseCtlCommandLine(const QStringList &arguments)
{
    CtlCommandLine result;
    program::CommandLine commandLine(arguments, kProgram);
    QCommandLineParser &parser = commandLine.parser();
    addOptions(parser);
    if (!commandLine.parse(arguments, result))
        return result;
    if (parser.isSet(ListOption)) {
        program::CommandLine::show(result, commandListing());
        return result;
    }
    if (parser.isSet(ListPortsOption)) {
        program::CommandLine::show(result, formatSerialPortListing(presentSerialPorts()));
        return result;
    }
    commandLine.read({ readLine, readCommands, readWait, readReport }, result.options, result);
    return result;
}

} // namespace koru::ctl
