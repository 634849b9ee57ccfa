#include "bridge/configfile.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace koru::bridge {

QString describeProblem(const QString &path, const ConfigProblem &problem)
{
    QString where = path;
    if (problem.line > 0)
        where += QLatin1Char(':') + QString::number(problem.line);
    if (!problem.section.isEmpty())
        where += QStringLiteral(": [%1]").arg(problem.section);
    if (!problem.key.isEmpty())
        where += QStringLiteral(": ") + problem.key;
    return where + QStringLiteral(": ") + problem.message;
}

namespace {

// What a header should have looked like, every kind named.
QString expectedHeaders(const std::vector<SectionKind> &kinds)
{
    QStringList headers;
    bool anyId = false;
    for (const SectionKind &kind : kinds) {
        headers << QStringLiteral("\"[%1]\"").arg(kind.hasId ? kind.name + QStringLiteral(" ID") : kind.name);
        anyId = anyId || kind.hasId;
    }
    QString text = headers.join(QStringLiteral(" or "));
    if (anyId)
        text += QStringLiteral(" (ID of letters, digits, '.', '_', '-')");
    return text;
}

} // namespace

ConfigFile readConfigFile(QStringView text, const std::vector<SectionKind> &kinds)
{
    static const QRegularExpression headerPattern(QStringLiteral(R"(^\[([a-z]+)(?: ([A-Za-z0-9._-]+))?\]$)"));
    ConfigFile file;
    ConfigSection *current = nullptr;
    const auto stop = [&](int line, const QString &key, const QString &message) {
        file.problem = ConfigProblem { line, current ? current->header() : QString(), key, message };
        return file;
    };
    int lineNumber = 0;
    for (QStringView line : text.split(u'\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const auto match = headerPattern.match(line.toString()); // not the view overload, deprecated from Qt 6.8
            const QString name = match.captured(1);
            const QString id = match.captured(2);
            const auto kind = std::find_if(kinds.begin(), kinds.end(),
                                           [&name](const SectionKind &k) { return k.name == name; });
            if (!match.hasMatch() || kind == kinds.end() || kind->hasId == id.isEmpty())
                return stop(lineNumber, {}, QStringLiteral("\"%1\" is not a section %2").arg(line, expectedHeaders(kinds)));
            // Sections with an id may repeat one; that is a clash between
            // projectors, told once all of them are read.
            const bool again = !kind->hasId && std::any_of(file.sections.begin(), file.sections.end(),
                                                           [&name](const ConfigSection &s) { return s.kind == name; });
            if (again)
                return stop(lineNumber, {}, QStringLiteral("a second [%1] section").arg(name));
            file.sections.push_back({ name, id, lineNumber, {} });
            current = &file.sections.back();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            return stop(lineNumber, {}, QStringLiteral("not \"key = value\""));
        const QString key = line.left(equals).trimmed().toString();
        if (!current)
            return stop(lineNumber, key, QStringLiteral("before any [%1] section")
                                             .arg(kinds.front().name + (kinds.front().hasId ? QStringLiteral(" ID") : QString())));
        const bool twice = std::any_of(current->entries.begin(), current->entries.end(),
                                       [&key](const ConfigEntry &e) { return e.key == key; });
        if (twice)
            return stop(lineNumber, key, QStringLiteral("given twice"));
        current->entries.push_back({ key, line.mid(equals + 1).trimmed().toString(), lineNumber });
    }
    return file;
}

} // namespace koru::bridge
