#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>

namespace koru::program {

// Where reading a command line ends when the program stops right after it:
// help, version, a listing, or a usage error. No exit code: the program goes on.
struct Ending
{
    std::optional<int> exitCode; // set when the program stops right away
    QString output;              // for standard output (help, version, lists)
    QString error;               // for standard error
};

// Prints an ending's texts; its exit code.
int finish(const Ending &ending);

// Who the program is, for its help, version and usage lines.
struct ProgramInfo
{
    QString name;        // the name on the version line, and when argv has none
    QString description; // the paragraph under the usage line
    QString hint = {};   // after "Try 'NAME --help' for the options"; %1 is NAME
};

// A program's reader takes some of its options from the parser into `target`;
// a message for the user when one of them is wrong.
using Refusal = std::optional<QString>;
template <typename Target>
using Reader = Refusal (*)(const QCommandLineParser &parser, Target &target);

// The part of reading a command line every program shares: -h/--help and
// -v/--version, the usage line with the name the program was started by (not
// its path), the version line, and usage errors with status 2 and a pointer
// to --help. The program adds its own options to parser().
class CommandLine
{
public:
    CommandLine(const QStringList &arguments, ProgramInfo info);

    QCommandLineParser &parser() { return m_parser; }
    const QCommandLineParser &parser() const { return m_parser; }
    // The name the program was started by, for messages.
    const QString &name() const { return m_name; }

    // Reads `arguments` (argv, or argv without what a toolkit takes). False
    // when the program stops here, with `ending` set: an unknown option or a
    // missing value, --help, --version.
    bool parse(const QStringList &arguments, Ending &ending);

    // Runs `readers` in order after parse(). The first refusal becomes a usage
    // error in `ending`, and the readers after it are not run.
    template <typename Target>
    void read(std::initializer_list<Reader<Target>> readers, Target &target, Ending &ending) const
    {
        for (const Reader<Target> reader : readers) {
            if (const Refusal refusal = reader(m_parser, target)) {
                refuse(ending, *refusal);
                return;
            }
        }
    }

    // "NAME: message" and where to look next, status 2.
    void refuse(Ending &ending, const QString &message) const;
    // `text` on standard output, status 0.
    static void show(Ending &ending, const QString &text);

private:
    QString helpText() const;

    QCommandLineParser m_parser;
    ProgramInfo m_info;
    QString m_name;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
};

} // namespace koru::program
