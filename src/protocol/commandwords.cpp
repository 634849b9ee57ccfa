#include "protocol/commandwords.h"

#include <QLatin1StringView>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace koru {

namespace {

// Words people reach for first, taken as the command they mean rather than
// refused: the projector counts lamp hours, and the catalogue calls the
// query after the button that asks it.
struct Synonym
{
    const char *word;
    const char *name;
};
constexpr Synonym kSynonyms[] = {
    { "lamp-hours", "lamp-time" },
    { "lamp-hour", "lamp-time" },
    { "power-status", "status" },
    { "input", "mode" },
};

const Command *findCommand(QStringView word)
{
    if (const Command *byName = commandByName(word))
        return byName;
    for (const Synonym &synonym : kSynonyms) {
        if (word == QLatin1StringView(synonym.word))
            return commandByName(QString::fromLatin1(synonym.name));
    }
    return commandByCode(word);
}

// Three characters, a letter and then letters and digits with at least one
// digit, as the codes are ("C0B", "CR3"): a code, not a name.
bool looksLikeCode(QStringView word)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z](?=.*\\d)[A-Za-z\\d]{2}$"));
    return pattern.match(word.toString()).hasMatch();
}

bool isCodeInAnyCase(QStringView word)
{
    return std::any_of(commandCatalogue().begin(), commandCatalogue().end(), [word](const Command &row) {
        return word.compare(QLatin1StringView(row.code), Qt::CaseInsensitive) == 0;
    });
}

// Whether the two names share a whole word of four letters or more
// ("lamp-hours" and "lamp-time").
bool shareAWord(QStringView typed, QStringView name)
{
    const auto words = name.split(u'-');
    for (QStringView part : typed.split(u'-')) {
        if (part.size() >= 4 && std::any_of(words.begin(), words.end(), [part](QStringView w) {
                return part.compare(w, Qt::CaseInsensitive) == 0;
            }))
            return true;
    }
    return false;
}

int editDistance(QStringView a, QStringView b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[size_t(j)];
            const bool same = a[i - 1].toLower() == b[j - 1].toLower();
            row[size_t(j)] = std::min({ above + 1, row[size_t(j - 1)] + 1, diagonal + (same ? 0 : 1) });
            diagonal = above;
        }
    }
    return row.back();
}

} // namespace

CommandLookup lookUpCommand(QStringView word)
{
    CommandLookup lookup;
    lookup.command = findCommand(word);
    if (lookup.command)
        return lookup;
    if (looksLikeCode(word) && !isCodeInAnyCase(word)) {
        lookup.codeShaped = true;
        lookup.refusal = QStringLiteral("'%1' is not a code of the catalogue").arg(word);
        return lookup;
    }
    const QStringList near = nearestNames(word);
    lookup.refusal = near.isEmpty()
        ? QStringLiteral("unknown command '%1'").arg(word)
        : QStringLiteral("unknown command '%1'; did you mean: %2?").arg(word, near.join(u", "));
    return lookup;
}

QStringList nearestNames(QStringView typed)
{
    struct Candidate
    {
        int distance;
        QString name;
    };
    std::vector<Candidate> candidates;
    const int limit = std::max<int>(2, int(typed.size() / 3));
    for (const Command &row : commandCatalogue()) {
        const QString name = QLatin1StringView(row.name);
        int distance = editDistance(typed, name);
        if (typed.compare(QLatin1StringView(row.code), Qt::CaseInsensitive) == 0)
            distance = 0; // "c00" is C00
        if (typed.size() >= 3 && name.contains(typed, Qt::CaseInsensitive))
            distance = std::min(distance, 1); // "mute" finds both mute commands
        if (shareAWord(typed, name))
            distance = std::min(distance, limit);
        if (distance <= limit)
            candidates.push_back({ distance, name });
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate &a, const Candidate &b) { return a.distance < b.distance; });
    QStringList names;
    for (const Candidate &candidate : candidates) {
        if (names.size() == 5)
            break;
        names << candidate.name;
    }
    return names;
}

} // namespace koru
