#include "sim/simcommandline.h"

#include "sim/ptyline.h"

#include <QCommandLineParser>

#include <optional>

namespace koru::sim {

namespace {

const QString DelayOption = QStringLiteral("delay");
const QString BaudOption = QStringLiteral("baud");
const QString SilentOption = QStringLiteral("silent");
const QString GarbageOption = QStringLiteral("garbage");
const QString FloodOption = QStringLiteral("flood");
const QString HangUpOption = QStringLiteral("hangup-after");
const QString SeedOption = QStringLiteral("seed");
const QString CountDownOption = QStringLiteral("countdown");
const QString CoolingOption = QStringLiteral("cooling");
const QString LampHoursOption = QStringLiteral("lamp-hours");
const QString LampHourLengthOption = QStringLiteral("lamp-hour-length");
const QString InputOption = QStringLiteral("input");
const QString SettingOption = QStringLiteral("setting");
const QString LinkOption = QStringLiteral("link");
const QString VerboseOption = QStringLiteral("verbose");
const QString ForceOption = QStringLiteral("force");

const program::ProgramInfo kProgram {
    QStringLiteral("koru-projector-sim"),
    QStringLiteral("A simulated data projector on a pseudo-terminal, for the koru panel or any serial\n"
                   "program. Prints the device to open on standard output and runs until interrupted;\n"
                   "with --hangup-after it ends when it has hung up the line."),
};

void addOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        { DelayOption, QStringLiteral("Reply delay in milliseconds (default 20)."), QStringLiteral("ms") },
        { BaudOption, QStringLiteral("The projector's line speed (default 19200): it hears and answers a peer "
                                     "whose line is set to this speed only."), QStringLiteral("n") },
        { SilentOption, QStringLiteral("Never answer.") },
        { GarbageOption, QStringLiteral("Answer every frame with random bytes.") },
        { FloodOption, QStringLiteral("Send random bytes at line rate all the time.") },
        { HangUpOption, QStringLiteral("Hang up the line on receipt of frame n."), QStringLiteral("n") },
        { SeedOption, QStringLiteral("Seed for the random bytes of --garbage and --flood."), QStringLiteral("n") },
        { CountDownOption, QStringLiteral("Length of the count down after power on, ms (default 3000)."), QStringLiteral("ms") },
        { CoolingOption, QStringLiteral("Length of the cooling down after power off, ms (default 5000)."), QStringLiteral("ms") },
        { LampHoursOption, QStringLiteral("Lamp hours at start, 0 to 9999 (default 0)."), QStringLiteral("n") },
        { LampHourLengthOption, QStringLiteral("Lamp time that counts as one hour, ms (default 3600000)."), QStringLiteral("ms") },
        { InputOption, QStringLiteral("Input at start: 1 computer, 2 MCI, 3 video (default 1)."), QStringLiteral("n") },
        { SettingOption, QStringLiteral("Setting reply: 11, 10, 01 or 00 (default 11)."), QStringLiteral("xy") },
        { LinkOption, QStringLiteral("Make a symbolic link to the device at path (removed on exit)."), QStringLiteral("path") },
        { ForceOption, QStringLiteral("Take the --link path over even from a simulator that is running.") },
        { VerboseOption, QStringLiteral("Report every frame received on standard error.") },
    });
}

// Reads an integer option within [min, max]; records an error otherwise.
std::optional<qint64> number(const QCommandLineParser &parser, const QString &name, qint64 min, qint64 max,
                             QString *error)
{
    const QString text = parser.value(name);
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < min || value > max) {
        *error = QStringLiteral("invalid value '%1' for --%2: expected a whole number from %3 to %4")
                     .arg(text, name)
                     .arg(min)
                     .arg(max);
        return std::nullopt;
    }
    return value;
}

// Each reader below takes its options from `parser` into `result`; a message
// for the user when one of them is wrong.
using program::Refusal;

Refusal readNumbers(const QCommandLineParser &parser, SimCommandLine &result)
{
    SimOptions &options = result.options;
    QString error;
    auto read = [&](const QString &name, qint64 min, qint64 max, auto apply) {
        if (!error.isEmpty() || !parser.isSet(name))
            return;
        if (const auto value = number(parser, name, min, max, &error))
            apply(*value);
    };
    using std::chrono::milliseconds;
    read(DelayOption, 0, 60000, [&](qint64 v) { options.replyDelay = milliseconds(v); });
    read(BaudOption, 50, 4000000, [&](qint64 v) { options.baud = int(v); });
    read(HangUpOption, 1, 1000000000, [&](qint64 v) { options.hangUpAfterFrames = int(v); });
    read(SeedOption, 0, 0xffffffffLL, [&](qint64 v) { options.seed = quint32(v); });
    read(CountDownOption, 0, 600000, [&](qint64 v) { options.projector.countDown = milliseconds(v); });
    read(CoolingOption, 0, 600000, [&](qint64 v) { options.projector.coolingDown = milliseconds(v); });
    read(LampHoursOption, 0, 9999, [&](qint64 v) { options.projector.lampHours = int(v); });
    read(LampHourLengthOption, 1, 24LL * 3600 * 1000, [&](qint64 v) { options.projector.lampHourLength = milliseconds(v); });
    read(InputOption, 1, 3, [&](qint64 v) { options.projector.input = char('0' + v); });
    if (!error.isEmpty())
        return error;
    if (!PtyLine::isStandardSpeed(options.baud))
        return QStringLiteral("invalid value '%1' for --baud: expected a standard line speed such as 9600 or 19200")
            .arg(options.baud);
    return std::nullopt;
}

Refusal readBehaviour(const QCommandLineParser &parser, SimCommandLine &result)
{
    SimOptions &options = result.options;
    if (parser.isSet(SettingOption)) {
        const QByteArray setting = parser.value(SettingOption).toLatin1();
        if (!ProjectorSetup::isValidSetting(setting))
            return QStringLiteral("invalid value '%1' for --setting: expected 11, 10, 01 or 00")
                .arg(parser.value(SettingOption));
        options.projector.setting = setting;
    }
    const int faults = int(parser.isSet(SilentOption)) + int(parser.isSet(GarbageOption)) + int(parser.isSet(FloodOption));
    if (faults > 1)
        return QStringLiteral("--silent, --garbage and --flood exclude each other");
    if (parser.isSet(SilentOption))
        options.fault = FaultMode::Silent;
    else if (parser.isSet(GarbageOption))
        options.fault = FaultMode::Garbage;
    else if (parser.isSet(FloodOption))
        options.fault = FaultMode::Flood;
    return std::nullopt;
}

Refusal readLink(const QCommandLineParser &parser, SimCommandLine &result)
{
    if (parser.isSet(LinkOption)) {
        result.linkPath = parser.value(LinkOption);
        if (result.linkPath.isEmpty())
            return QStringLiteral("--link needs a path");
    }
    result.forceLink = parser.isSet(ForceOption);
    if (result.forceLink && result.linkPath.isEmpty())
        return QStringLiteral("--force applies to --link only");
    result.verbose = parser.isSet(VerboseOption);
    return std::nullopt;
}

} // namespace

SimCommandLine parseSimCommandLine(const QStringList &arguments)
{
    SimCommandLine result;
    program::CommandLine commandLine(arguments, kProgram);
    QCommandLineParser &parser = commandLine.parser();
    addOptions(parser);
    if (!commandLine.parse(arguments, result))
        return result;
    if (!parser.positionalArguments().isEmpty()) {
        commandLine.refuse(result, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
        return result;
    }
    commandLine.read({ readNumbers, readBehaviour, readLink }, result, result);
    return result;
}

} // namespace koru::sim
