#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace koru::bridge {

// What is wrong, and where: the program words it. `line` is 0 when the
// problem is not on one line (a missing key, a duplicate across sections).
struct ConfigProblem
{
    int line = 0;
    QString section; // as its header names it, "projector room-2.14" or "mqtt"; empty outside any
    QString key;     // empty when the problem is not with one key
    QString message;
};

// The words for a problem of the file at `path`.
QString describeProblem(const QString &path, const ConfigProblem &problem);

// One `key = value` line.
struct ConfigEntry
{
    QString key;
    QString value;
    int line = 0;
};

// One section of the file with its lines, in the order they came.
struct ConfigSection
{
    QString kind; // "projector", "mqtt"
    QString id;   // "room-2.14" for [projector room-2.14]; empty for a section without one
    int line = 0;
    std::vector<ConfigEntry> entries;

    QString header() const { return id.isEmpty() ? kind : kind + QLatin1Char(' ') + id; }
};

// A kind of section the file may hold: with an id, as many as there are ids;
// without one, once at most.
struct SectionKind
{
    QString name;
    bool hasId = false;
};

struct ConfigFile
{
    std::vector<ConfigSection> sections;
    // The first mistake of the file's shape. The sections before it are
    // kept, the last of them cut short at it, so that a caller that reads
    // the values in order reports whatever comes first.
    std::optional<ConfigProblem> problem;
};

// The file's shape, not its values: `#` comments, `[kind]` and `[kind ID]`
// headers of the given kinds (an ID of letters, digits, '.', '_', '-'),
// `key = value` lines, no key twice in a section, none before the first.
ConfigFile readConfigFile(QStringView text, const std::vector<SectionKind> &kinds);

} // namespace koru::bridge
