#include "bridge/service/bridgemanual.h"

#include "bridge/service/bridgesetup.h"

#include <QStringList>

#include <algorithm>

namespace koru::bridge {

namespace {

const QString kMarker = QStringLiteral(".\\\" keys: ");

// Text as roff takes it on a line of its own: backslashes and minus signs
// escaped, nothing read as a request.
QString roffText(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\e"));
    escaped.replace(QLatin1Char('-'), QLatin1String("\\-"));
    if (escaped.startsWith(u'.') || escaped.startsWith(u'\''))
        escaped.prepend(QLatin1String("\\&"));
    return escaped;
}

QString keyList(const std::vector<KeyHelp> &keys)
{
    QString roff;
    for (const KeyHelp &key : keys)
        roff += QStringLiteral(".TP\n.B %1\n%2\n").arg(roffText(key.key), roffText(key.help));
    return roff;
}

} // namespace

FilledManual fillManualKeyLists(const QString &page)
{
    FilledManual filled;
    const QStringList lines = page.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (!line.startsWith(kMarker)) {
            filled.page += line;
            if (i + 1 < lines.size())
                filled.page += QLatin1Char('\n');
            continue;
        }
        const QString header = line.mid(kMarker.size()).trimmed();
        const auto &sections = sectionHelp();
        const auto section = std::find_if(sections.begin(), sections.end(),
                                          [&header](const SectionHelp &s) { return s.header == header; });
        if (section == sections.end()) {
            filled.error = QStringLiteral("line %1: no section [%2]").arg(i + 1).arg(header);
            return filled;
        }
        filled.page += keyList(section->keys);
    }
    return filled;
}

} // namespace koru::bridge
