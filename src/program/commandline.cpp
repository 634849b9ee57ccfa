#include "program/commandline.h"

#include "program/exitstatus.h"
#include "program/output.h"

namespace koru::program {

int finish(const Ending &ending)
{
    printOut(ending.output);
    printErr(ending.error);
    return ending.exitCode.value_or(exitstatus::Success);
}

CommandLine::CommandLine(const QStringList &arguments, ProgramInfo info)
    : m_info(std::move(info))
    , m_name(programName(arguments, m_info.name))
    // Our own help option: the stock one also offers --help-all, which needs
    // an application object before it can print anything.
    , m_help({ QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Displays help on commandline options."))
    , m_version({ QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("Displays version information."))
{
    m_parser.setApplicationDescription(m_info.description);
    m_parser.addOption(m_help);
    m_parser.addOption(m_version);
}

bool CommandLine::parse(const QStringList &arguments, Ending &ending)
{
    if (!m_parser.parse(arguments)) {
        refuse(ending, m_parser.errorText());
        return false;
    }
    if (m_parser.isSet(m_help)) {
        show(ending, helpText());
        return false;
    }
    if (m_parser.isSet(m_version)) {
        show(ending, QStringLiteral("%1 %2\n").arg(m_info.name, QStringLiteral(KORU_VERSION)));
        return false;
    }
    return true;
}

void CommandLine::refuse(Ending &ending, const QString &message) const
{
    const QString hint = m_info.hint.isEmpty() ? QString() : m_info.hint.arg(m_name);
    ending.error = QStringLiteral("%1: %2\nTry '%1 --help' for the options%3.\n").arg(m_name, message, hint);
    ending.exitCode = exitstatus::Usage;
}

void CommandLine::show(Ending &ending, const QString &text)
{
    ending.output = text;
    ending.exitCode = exitstatus::Success;
}

// Qt puts "<executable_name>" on the usage line before an application object
// exists and the path the program was started by after: the name, always.
QString CommandLine::helpText() const
{
    QString text = m_parser.helpText();
    const QLatin1String usage("Usage: ");
    const qsizetype start = text.indexOf(usage);
    const qsizetype end = text.indexOf(QLatin1String(" [options]"), start);
    if (start >= 0 && end > start)
        text.replace(start + usage.size(), end - start - usage.size(), m_name);
    return text;
}

} // namespace koru::program
